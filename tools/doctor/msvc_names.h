#pragma once

// C++ names as Microsoft's compiler mangles them (x86-64), read into their parts: so that a finding
// can say which host operation a missing export is, and so that the doctor can hold a function's
// parameter types against another's without comparing printed text.
//
// The reader declines (nullopt) any name, or part of one, that it does not read completely: a
// shape it does not know is never guessed at.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct MsvcNamePart;

// A type as a Microsoft mangled name spells it.
struct MsvcType {
  enum class Kind {
    kVoid,
    kBool,
    kCharacter /* char, wchar_t, char8_t, char16_t, char32_t */,
    kInteger,
    kFloatingPoint,
    kNullptr,
    kPointer,
    kLValueReference,
    kRValueReference,
    kClass /* class, struct, union */,
    kEnum,
    kFunction,
    kMemberPointer,
    kOther
  };
  Kind kind = Kind::kOther;
  // Builtins as C++ spells them ("int", "unsigned __int64", "float"); classes and enums by their
  // qualified name with template arguments ("TSubclassOf<APrimalDinoCharacter>",
  // "std::function<void()>"), each argument as SpellMsvcType spells it but never shortened
  // ("std::basic_string<char, std::char_traits<char>, std::allocator<char>>").
  // A non-type template argument (is_value) holds its value here: "0", "-3".
  std::string name;
  int size = 0;            // bytes, where the mangling tells: builtins, pointers (8)
  bool is_signed = false;  // integers, characters
  bool is_const = false;   // of this type itself; for a pointer, of the pointer (not of its target)
  bool is_volatile = false;
  std::string class_key;  // "class", "struct", "union" or "enum" for kClass/kEnum
  std::vector<std::string>
      qualified_name;  // kClass/kEnum: outermost first, {"std", "function<void()>"}
  std::vector<MsvcType>
      template_arguments;            // kClass/kEnum: the innermost part's arguments, in order
  std::vector<MsvcType> target;      // pointers, references, member pointers: the type pointed to
  std::vector<MsvcType> parameters;  // kFunction: parameters (none for "()")
  std::vector<MsvcType> result;      // kFunction: one element
  bool variadic = false;             // kFunction

  // Added to the agreed interface:
  bool is_value = false;  // kOther: a non-type template argument (an integer), `name` its value
  std::string calling_convention;  // kFunction: "__cdecl", "__stdcall", ...
  // kClass/kEnum: every part of the qualified name, outermost first, each with its own template
  // arguments, except the last part's, which are `template_arguments` (kept once). kMemberPointer:
  // the class the member belongs to, its last part's arguments likewise in `template_arguments`.
  std::vector<MsvcNamePart> parts;
  // kFunction that is the target of a member pointer: the qualifiers of its `this`.
  bool const_this = false, volatile_this = false;
};

// One part of a qualified name: "function" with the template arguments {void()}.
struct MsvcNamePart {
  std::string identifier;    // "function", "operator=", "`default ctor closure'"
  bool is_template = false;  // written with template arguments, even none ("a<>")
  std::vector<MsvcType> template_arguments;
};

struct MsvcFunction {
  std::vector<std::string> scope;  // outermost first: {"ANPCZoneManager"}; {"API", "Timer"}
  std::string name;        // "SpawnNPC", "operator=", "operator==", constructors by class name
  bool is_member = false;  // a non-static member function: takes `this` first
  bool const_this = false, volatile_this = false;
  std::string access;  // "public", "protected", "private" or "" for a free function
  MsvcType result;     // kVoid where none (constructors)
  std::vector<MsvcType> parameters;
  bool variadic = false;

  // Added to the agreed interface:
  bool is_static = false;  // a static member function
  bool is_virtual = false;
  bool is_constructor = false, is_destructor = false;
  bool is_conversion = false;  // "operator bool": the type it converts to is `result`
  std::string ref_qualifier;   // "", "&" or "&&" after the parameters
  bool is_noexcept = false;
  std::string calling_convention;   // "__cdecl", ...
  std::vector<MsvcNamePart> parts;  // the scope and the name itself, outermost first
};

// nullopt: not a function name, or a shape this reader does not read (it declines, never guesses).
std::optional<MsvcFunction> ParseMsvcFunction(std::string_view mangled);

// As a developer writes them: "char* const*", "TSubclassOf<APrimalDinoCharacter>",
// "const std::function<void()>&", "void(*)(int)". std::string, std::string_view and std::vector
// are shown without their default arguments.
std::string SpellMsvcType(const MsvcType& type);
// "API::Timer::DelayExecuteInternal(const std::function<void()>&, int)", "Box::Size() const":
// the qualified name and the parameters, no return type.
std::string SpellMsvcFunction(const MsvcFunction& function);

// Exactly as llvm-undname spells the name ("public: static class API::Timer & __cdecl
// API::Timer::Get(void)"), so that the reader can be held against it.
std::string UndnameMsvcFunction(const MsvcFunction& function);

// "?DelayExecuteInternal@Timer@API@@QEAAXAEBV?$function@$$A6AXXZ@std@@H@Z" ->
// "API::Timer::DelayExecuteInternal(const std::function<void()>&, int)": SpellMsvcFunction of
// what ParseMsvcFunction reads. Empty for anything it declines: the caller shows the name as it is.
std::optional<std::string> ReadableMsvcName(std::string_view mangled);

// The part of a mangled function name that names it without its signature
// ("?DelayExecuteInternal@Timer@API@@"): two manglings with the same head are the same function
// declared with another signature. Empty for a name that is no mangled C++ function name.
std::optional<std::string_view> MsvcNameHead(std::string_view mangled);

// Whether the name is mangled by Microsoft's C++ rules (rather than a C name or another
// compiler's C++ name).
bool IsMsvcMangled(std::string_view name);
