#include "tools/doctor/msvc_names.h"

#include <algorithm>
#include <cctype>
#include <utility>
#include <vector>

namespace {

// One piece of a qualified name, innermost first: a plain name or a template with its arguments.
struct Piece {
  std::string text;  // as written: "char_traits<char>"
  std::string name;  // the template's own name, for the spelling of the standard library's types
  std::vector<std::string> arguments;
};

// Reads the part of the mangling that plain interfaces use; anything else stops it (Fail), and the
// name is then shown as it is.
class Demangler {
 public:
  struct Fail {};

  explicit Demangler(std::string_view text) : in_(text), whole_(text) {}

  // "?name@scope@@" and the signature after it.
  std::string Function() {
    const std::string qualified = FunctionName();
    const char kind = Next();
    bool const_this = false;
    if (std::string_view("QRABIJUVEFMN").find(kind) != std::string_view::npos) {
      Consume("E");  // a 64-bit `this`
      const char qualifiers = Next();
      if (qualifiers < 'A' || qualifiers > 'D') throw Fail{};
      const_this = qualifiers == 'B' || qualifiers == 'D';
    } else if (std::string_view("YZSTCDKL").find(kind) == std::string_view::npos) {
      throw Fail{};  // data, thunks and the like
    }
    CallingConvention();
    ReturnType();
    const std::string parameters = Parameters();
    if (!Consume("_E") && !Consume("Z")) throw Fail{};
    if (!in_.empty()) throw Fail{};
    return qualified + "(" + parameters + ")" + (const_this ? " const" : "");
  }

  // The function's qualified name, "API::Timer::Get"; the head is what it took of the text.
  std::string FunctionName() {
    if (!Consume("?") || Peek() == '?') throw Fail{};  // operators, constructors: not ours
    std::vector<Piece> pieces;
    if (in_.substr(0, 2) == "?$") {
      pieces.push_back(TemplateInstance(false));
    } else {
      pieces.push_back(Plain(true));
    }
    while (!Consume("@")) pieces.push_back(Fragment());
    head_length_ = whole_.size() - in_.size();
    return Join(pieces);
  }

  std::size_t HeadLength() const { return head_length_; }

 private:
  char Peek() const { return in_.empty() ? '\0' : in_.front(); }
  char Next() {
    if (in_.empty()) throw Fail{};
    const char c = in_.front();
    in_.remove_prefix(1);
    return c;
  }
  bool Consume(std::string_view prefix) {
    if (in_.substr(0, prefix.size()) != prefix) return false;
    in_.remove_prefix(prefix.size());
    return true;
  }

  // Names met so far, which a digit refers back to (ten at most, each once).
  void Remember(const std::string& name) {
    if (names_.size() < 10 && std::find(names_.begin(), names_.end(), name) == names_.end()) {
      names_.push_back(name);
    }
  }

  Piece Plain(bool remember) {
    const std::size_t end = in_.find('@');
    if (end == 0 || end == std::string_view::npos) throw Fail{};
    Piece piece;
    piece.text = std::string(in_.substr(0, end));
    for (const char c : piece.text) {
      if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_' && c != '$') throw Fail{};
    }
    in_.remove_prefix(end + 1);
    if (remember) Remember(piece.text);
    return piece;
  }

  Piece Fragment() {
    if (std::isdigit(static_cast<unsigned char>(Peek()))) {
      const std::size_t index = static_cast<std::size_t>(Next() - '0');
      if (index >= names_.size()) throw Fail{};
      return Piece{names_[index], {}, {}};
    }
    if (in_.substr(0, 2) == "?$") return TemplateInstance(true);
    if (Peek() == '?') throw Fail{};
    return Plain(true);
  }

  // "?$name@arguments@": its arguments have their own back-references.
  Piece TemplateInstance(bool remember) {
    Consume("?$");
    std::vector<std::string> outer_names;
    std::vector<std::string> outer_types;
    std::swap(outer_names, names_);
    std::swap(outer_types, types_);
    Piece piece = Plain(true);
    piece.name = piece.text;
    while (!Consume("@")) piece.arguments.push_back(Type());
    std::swap(outer_names, names_);
    std::swap(outer_types, types_);
    piece.text = piece.name + "<" + JoinArguments(piece.arguments) + ">";
    if (remember) Remember(piece.text);
    return piece;
  }

  static std::string JoinArguments(const std::vector<std::string>& arguments) {
    std::string text;
    for (const std::string& argument : arguments) {
      if (!text.empty()) text += ", ";
      text += argument;
    }
    return text;
  }

  // Innermost piece first in the text; outermost first as written. The standard library's own
  // spellings are kept short.
  static std::string Join(const std::vector<Piece>& pieces) {
    if (pieces.size() == 2 && pieces[1].text == "std" && !pieces[0].name.empty()) {
      const Piece& type = pieces[0];
      const std::vector<std::string>& a = type.arguments;
      if (type.name == "basic_string" && a.size() == 3 && a[0] == "char" &&
          a[1] == "std::char_traits<char>" && a[2] == "std::allocator<char>") {
        return "std::string";
      }
      if (type.name == "basic_string_view" && a.size() == 2 && a[0] == "char" &&
          a[1] == "std::char_traits<char>") {
        return "std::string_view";
      }
      if (type.name == "vector" && a.size() == 2 && a[1] == "std::allocator<" + a[0] + ">") {
        return "std::vector<" + a[0] + ">";
      }
    }
    std::string text;
    for (auto piece = pieces.rbegin(); piece != pieces.rend(); ++piece) {
      if (!text.empty()) text += "::";
      text += piece->text;
    }
    return text;
  }

  std::string QualifiedType() {
    std::vector<Piece> pieces;
    pieces.push_back(Fragment());
    while (!Consume("@")) pieces.push_back(Fragment());
    return Join(pieces);
  }

  void CallingConvention() {
    if (std::string_view("AEGIQ").find(Next()) == std::string_view::npos) throw Fail{};
  }

  std::string ReturnType() {
    if (Consume("?A")) return Type();
    if (Consume("?B")) return "const " + Type();
    return Type();
  }

  // "X" alone: no parameters; otherwise types up to "@" (or "Z": and "...").
  std::string Parameters() {
    if (Consume("X")) return "";
    std::vector<std::string> list;
    while (Peek() != '@' && Peek() != 'Z') {
      if (std::isdigit(static_cast<unsigned char>(Peek()))) {
        const std::size_t index = static_cast<std::size_t>(Next() - '0');
        if (index >= types_.size()) throw Fail{};
        list.push_back(types_[index]);
        continue;
      }
      const std::size_t before = in_.size();
      list.push_back(Type());
      if (before - in_.size() > 1 && types_.size() < 10) types_.push_back(list.back());
    }
    if (Next() == 'Z') list.push_back("...");
    return JoinArguments(list);
  }

  std::string FunctionType(const std::string& declarator) {
    CallingConvention();
    const std::string result = ReturnType();
    const std::string parameters = Parameters();
    if (!Consume("_E") && !Consume("Z")) throw Fail{};
    return result + declarator + "(" + parameters + ")";
  }

  // After P/Q/A/B or $$Q: a 64-bit pointer, the pointee's qualifiers, the pointee.
  std::string Pointee(const std::string& declarator) {
    Consume("E");
    const char qualifiers = Next();
    if (qualifiers == '6') return FunctionType("(" + declarator + ")");
    if (qualifiers < 'A' || qualifiers > 'D') throw Fail{};
    const std::string prefix = qualifiers == 'B'   ? "const "
                               : qualifiers == 'C' ? "volatile "
                               : qualifiers == 'D' ? "const volatile "
                                                   : "";
    return prefix + Type() + declarator;
  }

  std::string Type() {
    // A real name nests a few levels deep; a damaged one could nest until the stack runs out.
    if (++depth_ > kMaxDepth) throw Fail{};
    std::string type = TypeBody();
    --depth_;
    return type;
  }

  std::string TypeBody() {
    if (Consume("$$A6")) return FunctionType("");
    if (Consume("$$Q")) return Pointee("&&");
    if (Consume("$$T")) return "std::nullptr_t";
    if (Consume("W4")) return QualifiedType();
    if (Consume("_N")) return "bool";
    if (Consume("_J")) return "__int64";
    if (Consume("_K")) return "unsigned __int64";
    if (Consume("_W")) return "wchar_t";
    if (Consume("_S")) return "char16_t";
    if (Consume("_U")) return "char32_t";
    if (Consume("_Q")) return "char8_t";
    switch (Next()) {
      case 'X':
        return "void";
      case 'C':
        return "signed char";
      case 'D':
        return "char";
      case 'E':
        return "unsigned char";
      case 'F':
        return "short";
      case 'G':
        return "unsigned short";
      case 'H':
        return "int";
      case 'I':
        return "unsigned int";
      case 'J':
        return "long";
      case 'K':
        return "unsigned long";
      case 'M':
        return "float";
      case 'N':
        return "double";
      case 'O':
        return "long double";
      case 'P':
        return Pointee("*");
      case 'Q':
        return Pointee("* const");
      case 'A':
        return Pointee("&");
      case 'T':
      case 'U':
      case 'V':
        return QualifiedType();
      default:
        throw Fail{};
    }
  }

  std::string_view in_;
  std::string_view whole_;
  std::size_t head_length_ = 0;
  static constexpr int kMaxDepth = 64;
  int depth_ = 0;
  std::vector<std::string> names_;
  std::vector<std::string> types_;
};

}  // namespace

std::optional<std::string> ReadableMsvcName(std::string_view mangled) {
  try {
    return Demangler(mangled).Function();
  } catch (const Demangler::Fail&) {
    return std::nullopt;
  }
}

std::optional<std::string_view> MsvcNameHead(std::string_view mangled) {
  try {
    Demangler demangler(mangled);
    demangler.FunctionName();
    return mangled.substr(0, demangler.HeadLength());
  } catch (const Demangler::Fail&) {
    return std::nullopt;
  }
}

bool IsMsvcMangled(std::string_view name) { return !name.empty() && name.front() == '?'; }
