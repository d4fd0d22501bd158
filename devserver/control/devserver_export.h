#pragma once

// The stand-in's control surface, used by the `kestrovar` program and the tests. The plug-in never
// includes devserver/ headers: it sees only host/.
#if defined(_WIN32)
#if defined(KESTROVAR_BUILDING_HOST)
#define DEVSERVER_API __declspec(dllexport)
#else
#define DEVSERVER_API __declspec(dllimport)
#endif
#else
#define DEVSERVER_API __attribute__((visibility("default")))
#endif
