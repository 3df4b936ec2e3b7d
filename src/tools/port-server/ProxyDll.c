/* The proxy DLL's entry points, made by rpcproxy.h from widl's proxy file
 * list: class objects for the proxies and stubs of the port interfaces and
 * the control interface, and registration of each interface's
 * ProxyStubClsid32 under the DLL's own class. */

/* {dedc01e7-69a8-44bf-8728-5f411ceef5ec} */
#define PROXY_CLSID_IS                                                                             \
    {                                                                                              \
        0xdedc01e7, 0x69a8, 0x44bf, { 0x87, 0x28, 0x5f, 0x41, 0x1c, 0xee, 0xf5, 0xec }             \
    }

#include "dlldata.c"
