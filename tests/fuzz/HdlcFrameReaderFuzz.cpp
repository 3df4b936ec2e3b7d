// Arbitrary line noise into the frame reader, in pieces whose sizes come from
// the input. Whatever came before, a flag followed by a good frame must come
// out as that frame, and no frame may exceed the reader's bound.
#include "transport/Hdlc.h"

#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    constexpr std::size_t kMaxPayload = 64;
    if (size == 0) {
        return 0;
    }
    const std::size_t piece = data[0] % 17 + 1;
    std::vector<std::uint8_t> stream(data + 1, data + size);
    const std::vector<std::uint8_t> known{0x4B, 0x13, 0x7E, 0x7D, 0x04, 0x00};
    stream.push_back(Transport::Hdlc::kFlag);
    Transport::Hdlc::appendFrame(known.data(), known.size(), stream);

    Transport::Hdlc::FrameReader reader(kMaxPayload);
    std::vector<std::uint8_t> last;
    for (std::size_t offset = 0; offset < stream.size(); offset += piece) {
        const std::size_t length = std::min(piece, stream.size() - offset);
        std::size_t used = 0;
        for (;;) {
            const auto status = reader.feed(stream.data() + offset, length, &used);
            if (status == Transport::Hdlc::FrameReader::Status::NeedMore) {
                break;
            }
            if (status == Transport::Hdlc::FrameReader::Status::Frame) {
                if (reader.frame().size() > kMaxPayload) {
                    std::abort();
                }
                last = reader.frame();
            } else {
                last.clear();
            }
        }
    }
    if (last != known) {
        std::abort();
    }
    return 0;
}
