#include "tools/vornak-efs/Items.h"

#include "platform/Md5.h"
#include "tools/vornak-efs/StagedFile.h"
#include "tools/vornak-efs/Text.h"

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <iterator>
#include <ostream>
#include <system_error>

namespace VornakEfs {

namespace fs = std::filesystem;

namespace {

[[noreturn]] void hostFailure(const std::string& what, const fs::path& path, int error)
{
    throw Failure(kHostFailure, "cannot " + what + " " + hostText(path) + ": " +
                                    std::generic_category().message(error));
}

std::string hexText(const Diag::Efs::Md5Digest& digest)
{
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    for (const std::uint8_t byte : digest) {
        text += kDigits[byte >> 4];
        text += kDigits[byte & 0xF];
    }
    return text;
}

} // namespace

void getItem(Session& session, const std::vector<std::string>& operands, std::ostream& out)
{
    const std::u16string item = handsetPath(operands.at(0));
    const std::vector<std::uint8_t> data = session.getItem(item);
    if (operands.size() < 2) {
        out.write(reinterpret_cast<const char*>(data.data()),
                  static_cast<std::streamsize>(data.size()));
        return;
    }
    // The user's earlier file of that name stays whole until the new one is.
    StagedFile staged(hostPath(operands[1]));
    staged.write(data.data(), data.size());
    staged.commit();
}

void putItem(Session& session, const std::vector<std::string>& operands)
{
    const fs::path local = hostPath(operands.at(0));
    const std::u16string item = handsetPath(operands.at(1));
    std::ifstream file(local, std::ios::binary);
    if (!file) {
        hostFailure("read", local, errno);
    }
    // One byte more than an item holds tells a file that is too long.
    std::vector<std::uint8_t> data(Diag::Efs2::kMaxItemData + 1);
    file.read(reinterpret_cast<char*>(data.data()), static_cast<std::streamsize>(data.size()));
    if (file.bad()) {
        hostFailure("read", local, errno);
    }
    data.resize(static_cast<std::size_t>(file.gcount()));
    if (data.size() > Diag::Efs2::kMaxItemData) {
        throw Failure(kUsage, "an item file holds at most " +
                                  std::to_string(Diag::Efs2::kMaxItemData) + " bytes; " +
                                  hostText(local) + " has more");
    }
    session.putItem(item, data);
}

void showDigests(Session& session, const std::vector<std::string>& operands, std::ostream& out)
{
    for (const std::string& operand : operands) {
        const std::u16string path = handsetPath(operand);
        out << hexText(session.digest(path)) << "  " << toUtf8(path) << '\n';
    }
}

void checkDigest(Session& session, const std::string& local, const std::string& operand,
                 std::ostream& out)
{
    const fs::path file = hostPath(local);
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        hostFailure("read", file, errno);
    }
    const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                          std::istreambuf_iterator<char>());
    if (in.bad()) {
        hostFailure("read", file, errno);
    }
    const std::u16string path = handsetPath(operand);
    const Diag::Efs::Md5Digest handset = session.digest(path);
    const Platform::Md5Digest own = Platform::md5(bytes);
    const bool same = std::equal(handset.begin(), handset.end(), own.begin(), own.end());
    out << toUtf8(path) << (same ? ": OK\n" : ": FAILED\n");
    if (!same) {
        throw Failure(kHandsetFailure, toUtf8(path) + " differs from " + hostText(file) + " (" +
                                           hexText(handset) + " on the handset, " + hexText(own) +
                                           " here)");
    }
}

} // namespace VornakEfs
