// Text descriptions of the HRESULTs the program can meet; "n/a" for any other value.
#pragma once
#include "platform/win32.h"

const char* DXGetErrorDescription9A(HRESULT hr);
