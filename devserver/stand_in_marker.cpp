// A name that only the stand-in host exports, so that `kestrovar doctor` tells it apart from the
// server's host: the stand-in must never sit in a server (tools/doctor/doctor_checks.h).

#include "devserver/control/devserver_export.h"

extern "C" DEVSERVER_API const char KestrovarStandInHost[] =
    "Kestrovar's stand-in host, for kestrovar.exe only: never put it in a server";
