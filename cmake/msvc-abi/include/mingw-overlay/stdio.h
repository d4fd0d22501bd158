// Overlay for mingw-w64's stdio.h: the UCRT's stdio.h makes _Mbstatet visible
// (via corecrt.h; mingw-w64 declares it in wchar.h) and declares
// _get_stream_buffer_pointers, which the MS STL's <fstream> uses.
#include_next <stdio.h>
#ifndef _MSVC_ABI_STDIO_OVERLAY
#define _MSVC_ABI_STDIO_OVERLAY
#include <wchar.h>
#ifdef __cplusplus
extern "C" {
#endif
__declspec(dllimport) errno_t __cdecl _get_stream_buffer_pointers(FILE* _Stream, char*** _Base,
                                                                  char*** _Pointer, int** _Count);
#ifdef __cplusplus
}
#endif
#endif
