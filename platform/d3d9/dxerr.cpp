#include "platform/dxerr.h"

const char* DXGetErrorDescription9A(HRESULT hr) {
    switch (static_cast<DWORD>(hr)) {
    case 0x00000000u:
        return "The function completed successfully";
    case 0x88760868u:
        return "Device lost";
    case 0x88760869u:
        return "Device not reset";
    case 0x8876086Au:
        return "Not available";
    case 0x8876086Cu:
        return "Invalid call";
    case 0x8876017Cu:
        return "Out of video memory";
    case 0x80004005u:
        return "An undetermined error occurred";
    case 0x8007000Eu:
        return "Ran out of memory";
    case 0x80070057u:
        return "An invalid parameter was passed to the returning function";
    case 0x80004001u:
        return "Not implemented";
    case 0x8007001Eu:
        return "Access to the device has been lost.  It must be re-acquired.";
    case 0x8007000Cu:
        return "The operation cannot be performed unless the device is acquired.";
    default:
        return "n/a";
    }
}
