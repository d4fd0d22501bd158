#pragma once

// C++ names as Microsoft's compiler mangles them, spelt out as a developer writes them, so that a
// finding can say which host operation a missing export is.

#include <optional>
#include <string>
#include <string_view>

// "?DelayExecuteInternal@Timer@API@@QEAAXAEBV?$function@$$A6AXXZ@std@@H@Z" ->
// "API::Timer::DelayExecuteInternal(const std::function<void()>&, int)". Functions only, with the
// types that plain interfaces use (no return type; std::string, std::string_view and std::vector
// without their default arguments). Empty for anything else: the caller shows the name as it is.
std::optional<std::string> ReadableMsvcName(std::string_view mangled);

// The part of a mangled function name that names it without its signature
// ("?DelayExecuteInternal@Timer@API@@"): two manglings with the same head are the same function
// declared with another signature. Empty for a name that is no mangled C++ function name.
std::optional<std::string_view> MsvcNameHead(std::string_view mangled);

// Whether the name is mangled by Microsoft's C++ rules (rather than a C name or another
// compiler's C++ name).
bool IsMsvcMangled(std::string_view name);
