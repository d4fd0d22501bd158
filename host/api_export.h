#pragma once

// The host's operations live in the host library ("version.dll"). The plug-in imports them; our
// stand-in host (devserver/) is that library and exports them.
#if defined(_WIN32)
#if defined(KESTROVAR_BUILDING_HOST)
#define KESTROVAR_HOST_API __declspec(dllexport)
#else
#define KESTROVAR_HOST_API __declspec(dllimport)
#endif
#else
#define KESTROVAR_HOST_API __attribute__((visibility("default")))
#endif
