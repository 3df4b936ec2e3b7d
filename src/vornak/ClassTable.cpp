#include "vornak/ClassTable.h"

#include "comserver/InprocServer.h"
#include "platform/ComError.h"
#include "platform/ComPtr.h"
#include "vornak/CTavoEFSEnum.h"
#include "vornak/CTavoEFSFolder.h"
#include "vornak/CTavoWinFolder.h"
#include "vornak/FileStream.h"
#include "vornak/Vornak.h"

namespace {

ComServer::ClassRow table[] = {
    {&CLSID_TavoEFSFile, L"Vornak.TavoEFSFile.1", L"Vornak.TavoEFSFile", L"TavoEFSFile Class",
     L"Free", &Efs::FileStream::create},
    {&CLSID_TavoEFSFolder, L"Vornak.TavoEFSFolder.1", L"Vornak.TavoEFSFolder",
     L"TavoEFSFolder Class", L"Free", &CTavoEFSFolder::create},
    {&CLSID_TavoEFSEnum, L"Vornak.TavoEFSEnum.1", L"Vornak.TavoEFSEnum", L"TavoEFSEnum Class",
     L"Free", &CTavoEFSEnum::create},
    {&CLSID_TavoWinFolder, L"Vornak.TavoWinFolder.1", L"Vornak.TavoWinFolder",
     L"TavoWinFolder Class", L"Free", &CTavoWinFolder::create},
};

ComServer::TypeInfoCache::Entry dualInterfaces[] = {
    {&IID_ITavoEFSFile},
    {&IID_ITavoEFSFolder},
    {&IID_ITavoEFSEnum},
    {&IID_ITavoWinFolder},
};
constinit ComServer::TypeInfoCache typeInfo(LIBID_VORNAKLib, dualInterfaces);

constinit const ComServer::InprocServer server(table, typeInfo);

} // namespace

const ComServer::InprocServer& ComServer::InprocServer::thisModule()
{
    return server;
}

namespace Vornak {

void createRunningObject(REFCLSID clsid, REFIID iid, void** out)
{
    constexpr DWORD kAnyServer =
        CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER;
    Platform::ComPtr<IUnknown> object;
    Platform::throwIfFailed(
        CoCreateInstance(clsid, nullptr, kAnyServer, IID_IUnknown, object.putVoid()));
    Platform::throwIfFailed(OleRun(object.get()));
    Platform::throwIfFailed(object->QueryInterface(iid, out));
}

} // namespace Vornak
