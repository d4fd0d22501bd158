#pragma once

// What the library entry point does at attach and detach, on every platform. Nothing may leave
// here as an exception: the host is loading or releasing libraries when it calls in.
void OnLibraryAttach();
void OnLibraryDetach();
