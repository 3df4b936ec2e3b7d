#include "ServedHandset.h"

#include "emulator/Seed.h"

#include <new>
#include <stdexcept>

namespace PortServerProgram {

ServedHandset::ServedHandset(ServerProcess& process, Emulator::FileSystem fileSystem)
    : reference_(process)
    , handset_(std::move(fileSystem))
{}

std::shared_ptr<Emulator::Handset>
ServedHandset::sharedHandset(const std::shared_ptr<ServedHandset>& served)
{
    return std::shared_ptr<Emulator::Handset>(served, &served->handset_);
}

std::shared_ptr<Emulator::LogBook>
ServedHandset::sharedLog(const std::shared_ptr<ServedHandset>& served)
{
    return std::shared_ptr<Emulator::LogBook>(served, &served->log_);
}

HandsetSource::HandsetSource(ServerProcess& process, std::optional<std::filesystem::path> seed)
    : process_(process)
    , seed_(std::move(seed))
{}

HRESULT HandsetSource::acquire(std::shared_ptr<ServedHandset>& served)
{
    std::lock_guard lock(mutex_);
    served = current_.lock();
    if (served) {
        return S_OK;
    }
    if (made_) {
        return CO_E_SERVER_STOPPING;
    }
    try {
        // Seeded before the process counts it, so that a failure leaves the
        // process as it was.
        Emulator::FileSystem fileSystem;
        if (seed_) {
            Emulator::seedFromHost(fileSystem, *seed_);
        }
        auto fresh = std::make_shared<ServedHandset>(process_, std::move(fileSystem));
        current_ = fresh;
        made_ = true;
        served = std::move(fresh);
        return S_OK;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (const std::filesystem::filesystem_error&) {
        return HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
    } catch (const std::exception&) {
        return E_FAIL;
    }
}

} // namespace PortServerProgram
