// The class table and type library of VornakTools.dll, its server as the
// exports of comserver/InprocExports.cpp find it: the emulated port, the
// serial port and the script tools, all registered "Free" (CEmulatedPort.h
// and CScriptTools.h say why).
#include "comserver/InprocServer.h"
#include "tools/vornak-tools/CEmulatedPort.h"
#include "tools/vornak-tools/CScriptTools.h"
#include "tools/vornak-tools/CSerialPort.h"

#include "vornak-tools/VornakTools.h"

namespace {

ComServer::ClassRow table[] = {
    {&CLSID_EmulatedPort, L"Vornak.EmulatedPort.1", L"Vornak.EmulatedPort", L"EmulatedPort Class",
     L"Free", &VornakTools::CEmulatedPort::create},
    {&CLSID_SerialPort, L"Vornak.SerialPort.1", L"Vornak.SerialPort", L"SerialPort Class", L"Free",
     &VornakTools::CSerialPort::create},
    {&CLSID_ScriptTools, L"Vornak.ScriptTools.1", L"Vornak.ScriptTools", L"ScriptTools Class",
     L"Free", &VornakTools::CScriptTools::create},
};

// Asked for locale 1033, the platform finds the library's neutral one.
ComServer::TypeInfoCache::Entry dualInterfaces[] = {
    {&IID_IEmulatedPort},
    {&IID_ISerialPort},
    {&IID_IScriptTools},
    {&IID_IListingEntry},
};
constinit ComServer::TypeInfoCache typeInfo(LIBID_VornakToolsLib, dualInterfaces);

constinit const ComServer::InprocServer server(table, typeInfo);

} // namespace

const ComServer::InprocServer& ComServer::InprocServer::thisModule()
{
    return server;
}
