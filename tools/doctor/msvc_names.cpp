#include "tools/doctor/msvc_names.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <utility>

// The reader follows the grammar as Microsoft's compiler writes it, and as LLVM's demangler reads
// it: which names enter the table that a digit refers back to, and when, decides what a later
// digit means, so that table is kept exactly as they keep it.

namespace {

using Kind = MsvcType::Kind;

// ---- Spelling as llvm-undname does
// ---------------------------------------------------------------

void Undname(const MsvcType& type, std::string& out);

void SpaceIfNeeded(std::string& out) {
  if (!out.empty() && (std::isalnum(static_cast<unsigned char>(out.back())) || out.back() == '>')) {
    out += ' ';
  }
}

void UndnameQualifiers(const MsvcType& type, std::string& out, bool space_before) {
  if (type.is_const) {
    if (space_before) out += ' ';
    out += "const";
    space_before = true;
  }
  if (type.is_volatile) {
    if (space_before) out += ' ';
    out += "volatile";
  }
}

// A class type keeps its last part's arguments in its own `template_arguments` (`last`), not twice.
std::string UndnamePart(const MsvcNamePart& part, const std::vector<MsvcType>* last = nullptr) {
  std::string out = part.identifier;
  if (part.is_template) {
    const std::vector<MsvcType>& arguments = last ? *last : part.template_arguments;
    out += '<';
    for (std::size_t i = 0; i < arguments.size(); ++i) {
      if (i) out += ", ";
      Undname(arguments[i], out);
    }
    out += '>';
  }
  return out;
}

std::string UndnameParts(const MsvcType& type) {
  std::string out;
  for (std::size_t i = 0; i < type.parts.size(); ++i) {
    if (i) out += "::";
    out +=
        UndnamePart(type.parts[i], i + 1 == type.parts.size() ? &type.template_arguments : nullptr);
  }
  return out;
}

void UndnamePre(const MsvcType& type, std::string& out, bool no_calling_convention = false);
void UndnamePost(const MsvcType& type, std::string& out);

void UndnameParameters(const std::vector<MsvcType>& parameters, bool variadic, bool none_is_void,
                       std::string& out) {
  out += '(';
  for (std::size_t i = 0; i < parameters.size(); ++i) {
    if (i) out += ", ";
    Undname(parameters[i], out);
  }
  if (parameters.empty() && !variadic && none_is_void) out += "void";
  if (variadic) {
    if (out.back() != '(') out += ", ";
    out += "...";
  }
  out += ')';
}

void UndnamePre(const MsvcType& type, std::string& out, bool no_calling_convention) {
  switch (type.kind) {
    case Kind::kClass:
    case Kind::kEnum:
      out += type.class_key + " " + UndnameParts(type);
      UndnameQualifiers(type, out, true);
      return;
    case Kind::kPointer:
    case Kind::kLValueReference:
    case Kind::kRValueReference:
    case Kind::kMemberPointer: {
      const MsvcType& target = type.target.front();
      const bool function = target.kind == Kind::kFunction;
      UndnamePre(target, out, function);
      SpaceIfNeeded(out);
      if (function) {
        out += "(";
        out += target.calling_convention;
        out += " ";
      }
      if (type.kind == Kind::kMemberPointer) out += UndnameParts(type) + "::";
      out += type.kind == Kind::kLValueReference   ? "&"
             : type.kind == Kind::kRValueReference ? "&&"
                                                   : "*";
      UndnameQualifiers(type, out, false);
      return;
    }
    case Kind::kFunction:
      UndnamePre(type.result.front(), out);
      out += ' ';
      if (!no_calling_convention) {
        SpaceIfNeeded(out);
        out += type.calling_convention;
      }
      return;
    default:
      out += type.kind == Kind::kNullptr ? "std::nullptr_t" : type.name;
      UndnameQualifiers(type, out, true);
      return;
  }
}

void UndnamePost(const MsvcType& type, std::string& out) {
  switch (type.kind) {
    case Kind::kPointer:
    case Kind::kLValueReference:
    case Kind::kRValueReference:
    case Kind::kMemberPointer:
      if (type.target.front().kind == Kind::kFunction) out += ')';
      UndnamePost(type.target.front(), out);
      return;
    case Kind::kFunction:
      UndnameParameters(type.parameters, type.variadic, true, out);
      if (type.const_this) out += " const";
      if (type.volatile_this) out += " volatile";
      UndnamePost(type.result.front(), out);
      return;
    default:
      return;
  }
}

void Undname(const MsvcType& type, std::string& out) {
  if (type.is_value) {
    out += type.name;
    return;
  }
  UndnamePre(type, out);
  UndnamePost(type, out);
}

// ---- Spelling as a developer does
// ----------------------------------------------------------------

std::string Spell(const MsvcType& type, const std::string& declarator, bool shorten);

std::string SpellPart(const MsvcNamePart& part, bool shorten,
                      const std::vector<MsvcType>* last = nullptr) {
  std::string out = part.identifier;
  if (part.is_template) {
    const std::vector<MsvcType>& arguments = last ? *last : part.template_arguments;
    out += '<';
    for (std::size_t i = 0; i < arguments.size(); ++i) {
      if (i) out += ", ";
      out += Spell(arguments[i], "", shorten);
    }
    out += '>';
  }
  return out;
}

std::string SpellParts(const MsvcType& cls, bool shorten) {
  const std::vector<MsvcNamePart>& parts = cls.parts;
  // The standard library's strings and vectors as their users write them.
  if (shorten && parts.size() == 2 && parts[0].identifier == "std" && !parts[0].is_template &&
      parts[1].is_template) {
    const MsvcNamePart& type = parts[1];
    const std::vector<MsvcType>& a = cls.template_arguments;
    auto full = [](const MsvcType& t) { return Spell(t, "", false); };
    if (type.identifier == "basic_string" && a.size() == 3 && full(a[0]) == "char" &&
        full(a[1]) == "std::char_traits<char>" && full(a[2]) == "std::allocator<char>") {
      return "std::string";
    }
    if (type.identifier == "basic_string_view" && a.size() == 2 && full(a[0]) == "char" &&
        full(a[1]) == "std::char_traits<char>") {
      return "std::string_view";
    }
    if (type.identifier == "vector" && a.size() == 2 &&
        full(a[1]) == "std::allocator<" + full(a[0]) + ">") {
      return "std::vector<" + Spell(a[0], "", true) + ">";
    }
  }
  std::string out;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (i) out += "::";
    out += SpellPart(parts[i], shorten, i + 1 == parts.size() ? &cls.template_arguments : nullptr);
  }
  return out;
}

std::string SpellQualifiers(const MsvcType& type) {
  return std::string(type.is_const ? " const" : "") + (type.is_volatile ? " volatile" : "");
}

std::string SpellParameters(const std::vector<MsvcType>& parameters, bool variadic, bool shorten) {
  std::string out;
  for (const MsvcType& parameter : parameters) {
    if (!out.empty()) out += ", ";
    out += Spell(parameter, "", shorten);
  }
  if (variadic) out += out.empty() ? "..." : ", ...";
  return out;
}

std::string Spell(const MsvcType& type, const std::string& declarator, bool shorten) {
  switch (type.kind) {
    case Kind::kPointer:
    case Kind::kLValueReference:
    case Kind::kRValueReference: {
      const char* op = type.kind == Kind::kPointer           ? "*"
                       : type.kind == Kind::kLValueReference ? "&"
                                                             : "&&";
      return Spell(type.target.front(), op + SpellQualifiers(type) + declarator, shorten);
    }
    case Kind::kMemberPointer: {
      const std::string inner =
          SpellParts(type, shorten) + "::*" + SpellQualifiers(type) + declarator;
      const bool function = type.target.front().kind == Kind::kFunction;
      return Spell(type.target.front(), function ? inner : " " + inner, shorten);
    }
    case Kind::kFunction: {
      std::string out = Spell(type.result.front(), "", shorten);
      if (!declarator.empty()) out += "(" + declarator + ")";
      out += "(" + SpellParameters(type.parameters, type.variadic, shorten) + ")";
      if (type.const_this) out += " const";
      if (type.volatile_this) out += " volatile";
      return out;
    }
    default: {
      if (type.is_value) return type.name;
      std::string out =
          std::string(type.is_const ? "const " : "") + (type.is_volatile ? "volatile " : "");
      if (type.kind == Kind::kClass || type.kind == Kind::kEnum) {
        out += SpellParts(type, shorten);
      } else {
        out += type.kind == Kind::kNullptr ? "std::nullptr_t" : type.name;
      }
      return out + declarator;
    }
  }
}

// ---- Reading
// -------------------------------------------------------------------------------------

struct Fail {};

MsvcType Builtin(Kind kind, const char* name, int size, bool is_signed) {
  MsvcType type;
  type.kind = kind;
  type.name = name;
  type.size = size;
  type.is_signed = is_signed;
  return type;
}

class Reader {
 public:
  explicit Reader(std::string_view text) : in_(text), whole_(text) {}

  MsvcFunction Function() {
    MsvcFunction function = FunctionName();
    if (!in_.empty() && in_.front() >= '0' && in_.front() <= '4') throw Fail{};  // a variable
    FunctionClass(function);
    if (function.is_member) {
      // The 64-bit marker, "&" or "&&" after the parameters, then what `this` points to.
      if (!Consume("E") || Peek() == 'I' || Peek() == 'F') throw Fail{};  // restrict, unaligned
      if (Consume("G")) {
        function.ref_qualifier = "&";
      } else if (Consume("H")) {
        function.ref_qualifier = "&&";
      }
      const char qualifiers = Next();
      if (qualifiers < 'A' || qualifiers > 'D') throw Fail{};
      function.const_this = qualifiers == 'B' || qualifiers == 'D';
      function.volatile_this = qualifiers == 'C' || qualifiers == 'D';
    }
    function.calling_convention = CallingConvention();
    // Constructors and destructors have no return type, and only they.
    const bool structor = function.is_constructor || function.is_destructor;
    if (Consume("@") != structor) throw Fail{};
    if (structor) {
      function.result = Builtin(Kind::kVoid, "void", 0, false);
    } else {
      function.result = Type(Mode::kResult);
    }
    function.parameters = Parameters(function.variadic);
    function.is_noexcept = ThrowSpecification();
    if (!in_.empty()) throw Fail{};

    for (std::size_t i = 0; i + 1 < function.parts.size(); ++i) {
      function.scope.push_back(SpellPart(function.parts[i], false));
    }
    if (function.is_conversion) {
      function.name = "operator " + Spell(function.result, "", false);
    } else if (structor) {
      function.name = function.parts.back().identifier;
    } else {
      function.name = SpellPart(function.parts.back(), false);
    }
    return function;
  }

  // "?name@scope@@": the function's name and scope, outermost first.
  MsvcFunction FunctionName() {
    if (!Consume("?")) throw Fail{};
    MsvcFunction function;
    MsvcNamePart own;
    if (Starts("?$")) {
      own = TemplateInstance(false, true);
    } else if (Consume("?")) {
      own = Operator(function);
    } else {
      own = Simple(true);
    }
    std::vector<MsvcNamePart> parts;  // innermost first
    parts.push_back(std::move(own));
    while (!Consume("@")) parts.push_back(ScopePiece());
    head_length_ = whole_.size() - in_.size();
    std::reverse(parts.begin(), parts.end());
    if (function.is_constructor || function.is_destructor) {
      // A constructor is named by its class: the part around it.
      if (parts.size() < 2) throw Fail{};
      const MsvcNamePart& cls = parts[parts.size() - 2];
      MsvcNamePart& structor = parts.back();
      structor.identifier = (function.is_destructor ? "~" : "") + cls.identifier;
      structor.is_template = cls.is_template;
      structor.template_arguments = cls.template_arguments;
    }
    function.parts = std::move(parts);
    return function;
  }

  std::size_t HeadLength() const { return head_length_; }

 private:
  enum class Mode { kDrop, kMangle, kResult };

  bool Starts(std::string_view prefix) const { return in_.substr(0, prefix.size()) == prefix; }
  bool Consume(std::string_view prefix) {
    if (!Starts(prefix)) return false;
    in_.remove_prefix(prefix.size());
    return true;
  }
  char Peek() const { return in_.empty() ? '\0' : in_.front(); }
  char Next() {
    if (in_.empty()) throw Fail{};
    const char c = in_.front();
    in_.remove_prefix(1);
    return c;
  }
  static bool IsDigit(char c) { return c >= '0' && c <= '9'; }

  // A real name nests a few levels deep; a damaged one could nest until the stack runs out.
  struct Depth {
    explicit Depth(int& depth) : depth_(depth) {
      if (++depth_ > kMaxDepth) throw Fail{};
    }
    ~Depth() { --depth_; }
    int& depth_;
  };

  // Names met so far, which a digit refers back to: ten at most, each once (as spelt).
  void Remember(const MsvcNamePart& part) {
    if (names_.size() >= 10) return;
    std::string text = UndnamePart(part);
    for (const Known& known : names_) {
      if (known.text == text) return;
    }
    names_.push_back({part, std::move(text)});
  }

  MsvcNamePart BackReference() {
    const std::size_t index = static_cast<std::size_t>(Next() - '0');
    if (index >= names_.size()) throw Fail{};
    Charge(Nodes(names_[index].part));
    return names_[index].part;
  }

  // Each back-reference copies what it refers to, and copies can hold copies: a few hundred
  // letters could otherwise ask for more than any memory. No real name comes near the limit.
  static constexpr std::size_t kMaxNodes = 20000;
  std::size_t budget_ = kMaxNodes;
  void Charge(std::size_t nodes) {
    if (nodes > budget_) throw Fail{};
    budget_ -= nodes;
  }
  static std::size_t Nodes(const MsvcNamePart& part) {
    std::size_t nodes = 1;
    for (const MsvcType& argument : part.template_arguments) nodes += Nodes(argument);
    return nodes;
  }
  static std::size_t Nodes(const MsvcType& type) {
    std::size_t nodes = 1;
    for (const MsvcNamePart& part : type.parts) nodes += Nodes(part);
    for (const auto* list :
         {&type.template_arguments, &type.target, &type.parameters, &type.result}) {
      for (const MsvcType& t : *list) nodes += Nodes(t);
    }
    return nodes;
  }

  MsvcNamePart Simple(bool remember) {
    const std::size_t end = in_.find('@');
    if (end == 0 || end == std::string_view::npos) throw Fail{};
    MsvcNamePart part;
    part.identifier = std::string(in_.substr(0, end));
    if (IsDigit(part.identifier.front())) throw Fail{};
    // Identifiers, and the runtime's own "<CrtImplementationDetails>"; never a '?', which begins
    // a special name.
    for (const char c : part.identifier) {
      if (c <= ' ' || c > '~' || c == '?') throw Fail{};
    }
    in_.remove_prefix(end + 1);
    if (remember) Remember(part);
    return part;
  }

  // A part of a scope, or of a class's name after its first part.
  MsvcNamePart ScopePiece() {
    if (IsDigit(Peek())) return BackReference();
    if (Starts("?$")) return TemplateInstance(true, false);
    if (Peek() == '?') throw Fail{};  // anonymous namespaces, local scopes
    return Simple(true);
  }

  // "?$name@arguments@": its arguments have a table of names (and of parameters) of their own.
  MsvcNamePart TemplateInstance(bool remember, bool function_name) {
    Depth depth(depth_);
    Consume("?$");
    std::vector<Known> outer_names;
    std::vector<MsvcType> outer_parameters;
    std::swap(outer_names, names_);
    std::swap(outer_parameters, parameters_);
    MsvcNamePart part;
    if (function_name && Consume("?")) {
      MsvcFunction unused;
      part = Operator(unused);
      if (unused.is_constructor || unused.is_destructor || unused.is_conversion) throw Fail{};
    } else {
      part = Simple(true);
    }
    part.is_template = true;
    while (!Consume("@")) {
      if (Consume("$S") || Consume("$$V") || Consume("$$$V") || Consume("$$Z")) continue;
      if (Consume("$$C")) {
        part.template_arguments.push_back(Type(Mode::kMangle));
      } else if (Consume("$0")) {
        part.template_arguments.push_back(Number());
      } else if (Peek() == '$' && !Starts("$$A6") && !Starts("$$Q") && !Starts("$$T")) {
        throw Fail{};  // pointers to members, aliases and other non-type arguments
      } else {
        part.template_arguments.push_back(Type(Mode::kDrop));
      }
    }
    std::swap(outer_names, names_);
    std::swap(outer_parameters, parameters_);
    if (remember) Remember(part);
    return part;
  }

  // An integer template argument: a digit is 1-10, else hexadecimal in A-P up to '@'.
  MsvcType Number() {
    MsvcType value;
    value.is_value = true;
    const bool negative = Consume("?");
    std::uint64_t number = 0;
    if (IsDigit(Peek())) {
      number = static_cast<std::uint64_t>(Next() - '0') + 1;
    } else {
      int digits = 0;
      while (!Consume("@")) {
        const char c = Next();
        if (c < 'A' || c > 'P' || ++digits > 16) throw Fail{};
        number = (number << 4) + static_cast<std::uint64_t>(c - 'A');
      }
    }
    value.name = (negative ? "-" : "") + std::to_string(number);
    return value;
  }

  // "?4" (operator=), "?0" (a constructor), "?_U" (operator new[]), ...
  MsvcNamePart Operator(MsvcFunction& function) {
    static constexpr std::pair<char, const char*> kBasic[] = {
        {'2', "operator new"}, {'3', "operator delete"}, {'4', "operator="},  {'5', "operator>>"},
        {'6', "operator<<"},   {'7', "operator!"},       {'8', "operator=="}, {'9', "operator!="},
        {'A', "operator[]"},   {'C', "operator->"},      {'D', "operator*"},  {'E', "operator++"},
        {'F', "operator--"},   {'G', "operator-"},       {'H', "operator+"},  {'I', "operator&"},
        {'J', "operator->*"},  {'K', "operator/"},       {'L', "operator%"},  {'M', "operator<"},
        {'N', "operator<="},   {'O', "operator>"},       {'P', "operator>="}, {'Q', "operator,"},
        {'R', "operator()"},   {'S', "operator~"},       {'T', "operator^"},  {'U', "operator|"},
        {'V', "operator&&"},   {'W', "operator||"},      {'X', "operator*="}, {'Y', "operator+="},
        {'Z', "operator-="}};
    // After "?_": compound assignments, the array forms of new and delete, and the functions the
    // compiler writes for a class (named as llvm-undname names them).
    static constexpr std::pair<char, const char*> kUnder[] = {{'0', "operator/="},
                                                              {'1', "operator%="},
                                                              {'2', "operator>>="},
                                                              {'3', "operator<<="},
                                                              {'4', "operator&="},
                                                              {'5', "operator|="},
                                                              {'6', "operator^="},
                                                              {'D', "`vbase dtor'"},
                                                              {'E', "`vector deleting dtor'"},
                                                              {'F', "`default ctor closure'"},
                                                              {'G', "`scalar deleting dtor'"},
                                                              {'U', "operator new[]"},
                                                              {'V', "operator delete[]"}};
    MsvcNamePart part;
    if (Consume("_")) {
      if (Peek() == '_') throw Fail{};  // co_await, <=>, literal operators, initialisers
      const char code = Next();
      for (const auto& [c, text] : kUnder) {
        if (c == code) part.identifier = text;
      }
    } else {
      const char code = Next();
      if (code == '0') {
        function.is_constructor = true;
      } else if (code == '1') {
        function.is_destructor = true;
      } else if (code == 'B') {
        function.is_conversion = true;
        part.identifier = "operator";
      } else {
        for (const auto& [c, text] : kBasic) {
          if (c == code) part.identifier = text;
        }
      }
    }
    if (part.identifier.empty() && !function.is_constructor && !function.is_destructor) {
      throw Fail{};  // tables, RTTI, string literals and the like: no functions
    }
    return part;
  }

  void FunctionClass(MsvcFunction& function) {
    // Each access in the near and the far form (the same thing on x86-64); thunks that adjust
    // `this` and extern "C" names are declined.
    static constexpr struct {
      char codes[3];
      const char* access;
      bool is_static;
      bool is_virtual;
    } kClasses[] = {{"AB", "private", false, false},  {"CD", "private", true, false},
                    {"EF", "private", false, true},   {"IJ", "protected", false, false},
                    {"KL", "protected", true, false}, {"MN", "protected", false, true},
                    {"QR", "public", false, false},   {"ST", "public", true, false},
                    {"UV", "public", false, true},    {"YZ", "", false, false}};
    const char code = Next();
    for (const auto& entry : kClasses) {
      if (code != entry.codes[0] && code != entry.codes[1]) continue;
      function.access = entry.access;
      function.is_static = entry.is_static;
      function.is_virtual = entry.is_virtual;
      function.is_member = !function.access.empty() && !entry.is_static;
      return;
    }
    throw Fail{};
  }

  std::string CallingConvention() {
    switch (Next()) {
      case 'A':
      case 'B':
        return "__cdecl";
      case 'E':
      case 'F':
        return "__thiscall";
      case 'G':
      case 'H':
        return "__stdcall";
      case 'I':
      case 'J':
        return "__fastcall";
      case 'M':
      case 'N':
        return "__clrcall";
      case 'Q':
        return "__vectorcall";
      default:
        throw Fail{};
    }
  }

  bool ThrowSpecification() {
    if (Consume("_E")) return true;
    if (Consume("Z")) return false;
    throw Fail{};
  }

  // "X" alone: none; otherwise types up to "@", or up to "Z" when "..." ends them. A digit stands
  // for an earlier parameter type that took more than one letter.
  std::vector<MsvcType> Parameters(bool& variadic) {
    std::vector<MsvcType> list;
    variadic = false;
    if (Consume("X")) return list;
    while (Peek() != '@' && Peek() != 'Z') {
      if (IsDigit(Peek())) {
        const std::size_t index = static_cast<std::size_t>(Next() - '0');
        if (index >= parameters_.size()) throw Fail{};
        Charge(Nodes(parameters_[index]));
        list.push_back(parameters_[index]);
        continue;
      }
      const std::size_t before = in_.size();
      list.push_back(Type(Mode::kDrop));
      if (before - in_.size() > 1 && parameters_.size() < 10) parameters_.push_back(list.back());
    }
    if (Next() == 'Z') {
      variadic = true;
    } else if (list.empty()) {
      throw Fail{};  // "@" with no parameter before it
    }
    return list;
  }

  // A function type after "6" (or "$$A6"): calling convention, result, parameters.
  MsvcType FunctionType() {
    MsvcType type;
    type.kind = Kind::kFunction;
    type.calling_convention = CallingConvention();
    type.result.push_back(Type(Mode::kResult));
    type.parameters = Parameters(type.variadic);
    if (ThrowSpecification()) throw Fail{};  // noexcept function types: not read
    return type;
  }

  MsvcType Type(Mode mode) {
    Depth depth(depth_);
    Charge(1);
    bool is_const = false, is_volatile = false;
    if (mode == Mode::kMangle || (mode == Mode::kResult && Consume("?"))) {
      const char qualifiers = Next();
      if (qualifiers < 'A' || qualifiers > 'D') throw Fail{};
      is_const = qualifiers == 'B' || qualifiers == 'D';
      is_volatile = qualifiers == 'C' || qualifiers == 'D';
    }
    MsvcType type = TypeBody();
    type.is_const = type.is_const || is_const;
    type.is_volatile = type.is_volatile || is_volatile;
    return type;
  }

  MsvcType TypeBody() {
    if (Starts("$$Q") || Starts("A") || Starts("P") || Starts("Q") || Starts("R") || Starts("S")) {
      return Pointer();
    }
    if (Consume("$$A6")) return FunctionType();
    if (Consume("$$T")) return Builtin(Kind::kNullptr, "std::nullptr_t", 8, false);
    if (Consume("_N")) return Builtin(Kind::kBool, "bool", 1, false);
    if (Consume("_J")) return Builtin(Kind::kInteger, "__int64", 8, true);
    if (Consume("_K")) return Builtin(Kind::kInteger, "unsigned __int64", 8, false);
    if (Consume("_W")) return Builtin(Kind::kCharacter, "wchar_t", 2, false);
    if (Consume("_Q")) return Builtin(Kind::kCharacter, "char8_t", 1, false);
    if (Consume("_S")) return Builtin(Kind::kCharacter, "char16_t", 2, false);
    if (Consume("_U")) return Builtin(Kind::kCharacter, "char32_t", 4, false);
    switch (Next()) {
      case 'X':
        return Builtin(Kind::kVoid, "void", 0, false);
      case 'C':
        return Builtin(Kind::kCharacter, "signed char", 1, true);
      case 'D':
        return Builtin(Kind::kCharacter, "char", 1, true);
      case 'E':
        return Builtin(Kind::kCharacter, "unsigned char", 1, false);
      case 'F':
        return Builtin(Kind::kInteger, "short", 2, true);
      case 'G':
        return Builtin(Kind::kInteger, "unsigned short", 2, false);
      case 'H':
        return Builtin(Kind::kInteger, "int", 4, true);
      case 'I':
        return Builtin(Kind::kInteger, "unsigned int", 4, false);
      case 'J':
        return Builtin(Kind::kInteger, "long", 4, true);
      case 'K':
        return Builtin(Kind::kInteger, "unsigned long", 4, false);
      case 'M':
        return Builtin(Kind::kFloatingPoint, "float", 4, true);
      case 'N':
        return Builtin(Kind::kFloatingPoint, "double", 8, true);
      case 'O':
        return Builtin(Kind::kFloatingPoint, "long double", 8, true);
      case 'T':
        return ClassType(Kind::kClass, "union");
      case 'U':
        return ClassType(Kind::kClass, "struct");
      case 'V':
        return ClassType(Kind::kClass, "class");
      case 'W':
        // Only enums of int are written so today; the digit gives the underlying type.
        if (!Consume("4")) throw Fail{};
        {
          MsvcType type = ClassType(Kind::kEnum, "enum");
          type.size = 4;
          type.is_signed = true;
          return type;
        }
      default:
        throw Fail{};  // arrays, custom and extended types
    }
  }

  // "name@scope@@": the first part is remembered, as are the scope's.
  MsvcType ClassType(Kind kind, const char* key) {
    MsvcType type;
    type.kind = kind;
    type.class_key = key;
    std::vector<MsvcNamePart> parts;
    if (IsDigit(Peek())) {
      parts.push_back(BackReference());
    } else if (Starts("?$")) {
      parts.push_back(TemplateInstance(true, false));
    } else if (Peek() == '?') {
      throw Fail{};
    } else {
      parts.push_back(Simple(true));
    }
    while (!Consume("@")) parts.push_back(ScopePiece());
    std::reverse(parts.begin(), parts.end());
    type.template_arguments = std::move(parts.back().template_arguments);
    parts.back().template_arguments.clear();
    type.parts = std::move(parts);
    for (std::size_t i = 0; i < type.parts.size(); ++i) {
      type.qualified_name.push_back(SpellPart(
          type.parts[i], false, i + 1 == type.parts.size() ? &type.template_arguments : nullptr));
    }
    type.name = SpellParts(type, false);
    return type;
  }

  // P * / Q * const / R * volatile / S * const volatile / A & / $$Q &&: the pointer's own
  // qualifiers, then "6" and a function, or the 64-bit marker and the target with its qualifiers.
  MsvcType Pointer() {
    MsvcType type;
    type.size = 8;
    if (Consume("$$Q")) {
      type.kind = Kind::kRValueReference;
    } else {
      const char code = Next();
      type.kind = code == 'A' ? Kind::kLValueReference : Kind::kPointer;
      type.is_const = code == 'Q' || code == 'S';
      type.is_volatile = code == 'R' || code == 'S';
    }
    if (Consume("6")) {
      type.target.push_back(FunctionType());
      return type;
    }
    if (Consume("8")) {
      // A pointer to a member function: its class, then the function with its `this`.
      if (type.kind != Kind::kPointer) throw Fail{};
      type.kind = Kind::kMemberPointer;
      MsvcType cls = ClassType(Kind::kClass, "class");
      type.parts = std::move(cls.parts);
      type.template_arguments = std::move(cls.template_arguments);
      // The 64-bit marker and `this`'s qualifiers; restrict, unaligned and & or && are not read.
      if (!Consume("E")) throw Fail{};
      const char qualifiers = Next();
      if (qualifiers < 'A' || qualifiers > 'D') throw Fail{};
      MsvcType function = FunctionType();
      function.const_this = qualifiers == 'B' || qualifiers == 'D';
      function.volatile_this = qualifiers == 'C' || qualifiers == 'D';
      type.target.push_back(std::move(function));
      return type;
    }
    if (IsDigit(Peek())) throw Fail{};
    if (!Consume("E")) throw Fail{};                   // a 32-bit name
    if (Peek() == 'I' || Peek() == 'F') throw Fail{};  // __restrict, __unaligned
    if (Peek() >= 'Q' && Peek() <= 'T') {
      if (type.kind != Kind::kPointer) throw Fail{};
      // A pointer to a data member: the member's qualifiers, its class, its type.
      const char qualifiers = Next();
      type.kind = Kind::kMemberPointer;
      MsvcType cls = ClassType(Kind::kClass, "class");
      type.parts = std::move(cls.parts);
      type.template_arguments = std::move(cls.template_arguments);
      MsvcType target = Type(Mode::kDrop);
      target.is_const = qualifiers == 'R' || qualifiers == 'T';
      target.is_volatile = qualifiers == 'S' || qualifiers == 'T';
      type.target.push_back(std::move(target));
      return type;
    }
    type.target.push_back(Type(Mode::kMangle));
    return type;
  }

  std::string_view in_;
  std::string_view whole_;
  std::size_t head_length_ = 0;
  static constexpr int kMaxDepth = 64;
  int depth_ = 0;
  struct Known {
    MsvcNamePart part;
    std::string text;  // as llvm-undname spells it: what makes two names the same
  };
  std::vector<Known> names_;
  std::vector<MsvcType> parameters_;
};

}  // namespace

std::optional<MsvcFunction> ParseMsvcFunction(std::string_view mangled) {
  try {
    return Reader(mangled).Function();
  } catch (const Fail&) {
    return std::nullopt;
  }
}

std::string SpellMsvcType(const MsvcType& type) { return Spell(type, "", true); }

std::string SpellMsvcFunction(const MsvcFunction& function) {
  std::string out;
  for (std::size_t i = 0; i + 1 < function.parts.size(); ++i) {
    out += SpellPart(function.parts[i], true) + "::";
  }
  out += function.name;
  out += "(" + SpellParameters(function.parameters, function.variadic, true) + ")";
  if (function.const_this) out += " const";
  if (function.volatile_this) out += " volatile";
  if (!function.ref_qualifier.empty()) out += " " + function.ref_qualifier;
  return out;
}

std::string UndnameMsvcFunction(const MsvcFunction& function) {
  std::string out;
  if (!function.access.empty()) out += function.access + ": ";
  if (function.is_static) out += "static ";
  if (function.is_virtual) out += "virtual ";
  const bool structor = function.is_constructor || function.is_destructor;
  if (!structor) {
    UndnamePre(function.result, out);
    out += ' ';
  }
  SpaceIfNeeded(out);
  out += function.calling_convention;
  SpaceIfNeeded(out);
  for (std::size_t i = 0; i < function.parts.size(); ++i) {
    if (i) out += "::";
    out += UndnamePart(function.parts[i]);
  }
  if (function.is_conversion) {
    out += ' ';
    Undname(function.result, out);
  }
  UndnameParameters(function.parameters, function.variadic, true, out);
  if (function.const_this) out += " const";
  if (function.volatile_this) out += " volatile";
  if (function.is_noexcept) out += " noexcept";
  if (!function.ref_qualifier.empty()) out += " " + function.ref_qualifier;
  if (!structor) UndnamePost(function.result, out);
  return out;
}

std::optional<std::string> ReadableMsvcName(std::string_view mangled) {
  const std::optional<MsvcFunction> function = ParseMsvcFunction(mangled);
  if (!function) return std::nullopt;
  return SpellMsvcFunction(*function);
}

std::optional<std::string_view> MsvcNameHead(std::string_view mangled) {
  try {
    Reader reader(mangled);
    reader.FunctionName();
    return mangled.substr(0, reader.HeadLength());
  } catch (const Fail&) {
    return std::nullopt;
  }
}

bool IsMsvcMangled(std::string_view name) { return !name.empty() && name.front() == '?'; }
