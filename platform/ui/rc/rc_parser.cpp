#include "rc_parser.h"

#include <fstream>
#include <iterator>
#include <map>

namespace rcgen {
namespace {

// The Win32 constants a resource script may name; windows.h and commctrl.h are not read.
const std::map<std::string, uint32_t>& win32Constants() {
  static const std::map<std::string, uint32_t> constants = {
      {"WS_OVERLAPPED", 0}, {"WS_POPUP", 0x80000000u}, {"WS_CHILD", 0x40000000},
      {"WS_MINIMIZE", 0x20000000}, {"WS_VISIBLE", 0x10000000}, {"WS_DISABLED", 0x08000000},
      {"WS_CLIPSIBLINGS", 0x04000000}, {"WS_CLIPCHILDREN", 0x02000000},
      {"WS_MAXIMIZE", 0x01000000}, {"WS_CAPTION", 0x00C00000}, {"WS_BORDER", 0x00800000},
      {"WS_DLGFRAME", 0x00400000}, {"WS_VSCROLL", 0x00200000}, {"WS_HSCROLL", 0x00100000},
      {"WS_SYSMENU", 0x00080000}, {"WS_THICKFRAME", 0x00040000}, {"WS_GROUP", 0x00020000},
      {"WS_TABSTOP", 0x00010000}, {"WS_MINIMIZEBOX", 0x00020000},
      {"WS_MAXIMIZEBOX", 0x00010000},
      {"WS_EX_DLGMODALFRAME", 0x1}, {"WS_EX_TOPMOST", 0x8}, {"WS_EX_TOOLWINDOW", 0x80},
      {"WS_EX_CLIENTEDGE", 0x200}, {"WS_EX_CONTEXTHELP", 0x400},
      {"WS_EX_STATICEDGE", 0x20000},
      {"DS_ABSALIGN", 0x01}, {"DS_SYSMODAL", 0x02}, {"DS_3DLOOK", 0x04}, {"DS_FIXEDSYS", 0x08},
      {"DS_NOFAILCREATE", 0x10}, {"DS_LOCALEDIT", 0x20}, {"DS_SETFONT", 0x40},
      {"DS_MODALFRAME", 0x80}, {"DS_NOIDLEMSG", 0x100}, {"DS_SETFOREGROUND", 0x200},
      {"DS_CONTROL", 0x400}, {"DS_CENTER", 0x800}, {"DS_CENTERMOUSE", 0x1000},
      {"DS_CONTEXTHELP", 0x2000}, {"DS_SHELLFONT", 0x48},
      {"SS_LEFT", 0}, {"SS_CENTER", 1}, {"SS_RIGHT", 2}, {"SS_ICON", 3}, {"SS_BLACKRECT", 4},
      {"SS_GRAYRECT", 5}, {"SS_WHITERECT", 6}, {"SS_BLACKFRAME", 7}, {"SS_GRAYFRAME", 8},
      {"SS_WHITEFRAME", 9}, {"SS_SIMPLE", 0xB}, {"SS_LEFTNOWORDWRAP", 0xC}, {"SS_BITMAP", 0xE},
      {"SS_ETCHEDHORZ", 0x10}, {"SS_ETCHEDVERT", 0x11}, {"SS_ETCHEDFRAME", 0x12},
      {"SS_NOPREFIX", 0x80}, {"SS_NOTIFY", 0x100}, {"SS_CENTERIMAGE", 0x200},
      {"SS_RIGHTJUST", 0x400}, {"SS_REALSIZEIMAGE", 0x800}, {"SS_SUNKEN", 0x1000},
      {"BS_PUSHBUTTON", 0}, {"BS_DEFPUSHBUTTON", 1}, {"BS_CHECKBOX", 2}, {"BS_AUTOCHECKBOX", 3},
      {"BS_GROUPBOX", 7},
      {"TBS_HORZ", 0}, {"TBS_AUTOTICKS", 1}, {"TBS_VERT", 2}, {"TBS_TOP", 4}, {"TBS_LEFT", 4},
      {"TBS_BOTTOM", 0}, {"TBS_RIGHT", 0}, {"TBS_BOTH", 8}, {"TBS_NOTICKS", 0x10},
      {"TBS_ENABLESELRANGE", 0x20}, {"TBS_FIXEDLENGTH", 0x40}, {"TBS_NOTHUMB", 0x80},
      {"TBS_TOOLTIPS", 0x100},
      {"IDOK", 1}, {"IDCANCEL", 2}, {"IDABORT", 3}, {"IDRETRY", 4}, {"IDIGNORE", 5},
      {"IDYES", 6}, {"IDNO", 7},
      {"VOS_UNKNOWN", 0}, {"VOS_NT", 0x40000}, {"VOS__WINDOWS32", 4},
      {"VOS_NT_WINDOWS32", 0x40004}, {"VOS_DOS_WINDOWS32", 0x10004},
      {"VFT_UNKNOWN", 0}, {"VFT_APP", 1}, {"VFT_DLL", 2}, {"VFT2_UNKNOWN", 0},
      {"VS_FF_DEBUG", 1}, {"VS_FF_PRERELEASE", 2}, {"VS_FFI_FILEFLAGSMASK", 0x3F},
      {"LANG_NEUTRAL", 0}, {"LANG_ENGLISH", 9}, {"SUBLANG_NEUTRAL", 0},
      {"SUBLANG_DEFAULT", 1}, {"SUBLANG_ENGLISH_US", 1},
  };
  return constants;
}

constexpr uint32_t kChildVisible = 0x40000000 | 0x10000000;

class Parser {
public:
  Parser(Lexer& lexer, const std::vector<Token>& tokens) : lexer_(lexer), tokens_(tokens) {}

  Script parse() {
    Script script;
    while (peek().kind != TokenKind::End) {
      if (isName("LANGUAGE")) {
        next();
        expression();
        expect(",");
        expression();
        continue;
      }
      const Token& idToken = peek();
      int id = resourceId();
      const Token& kind = next();
      if (kind.kind != TokenKind::Name) fail(kind, "expected a resource type after the id");
      if (kind.text == "DIALOG" || kind.text == "DIALOGEX") {
        script.dialogs.push_back(dialog(id));
      } else if (kind.text == "BITMAP" || kind.text == "ICON") {
        script.files.push_back(file(id, kind.text == "BITMAP" ? 2 : 14, kind));
      } else if (kind.text == "VERSIONINFO") {
        script.versions.push_back(version(id));
      } else {
        fail(kind, "unsupported resource type " + kind.text);
      }
      (void)idToken;
    }
    return script;
  }

private:
  [[noreturn]] void fail(const Token& at, const std::string& message) {
    throw Failure{at.where + ": " + message};
  }

  const Token& peek() const { return tokens_[position_]; }
  const Token& next() {
    const Token& t = tokens_[position_];
    if (t.kind != TokenKind::End) ++position_;
    return t;
  }
  bool isPunct(const char* p) const { return peek().kind == TokenKind::Punct && peek().text == p; }
  bool isName(const char* n) const { return peek().kind == TokenKind::Name && peek().text == n; }
  void expect(const char* p) {
    if (!isPunct(p)) fail(peek(), std::string("expected '") + p + "'" + found());
    next();
  }
  std::string found() const {
    const Token& t = peek();
    if (t.kind == TokenKind::End) return " before the end of the file";
    return " but found '" + t.text + "'";
  }
  bool atBegin() const { return isName("BEGIN") || isPunct("{"); }
  bool atEnd() const { return isName("END") || isPunct("}"); }
  void expectBegin() {
    if (!atBegin()) fail(peek(), "expected BEGIN" + found());
    next();
  }
  void expectEnd() {
    if (!atEnd()) fail(peek(), "expected END" + found());
    next();
  }

  int resourceId() {
    const Token& t = peek();
    if (t.kind == TokenKind::Name && !win32Constants().count(t.text))
      fail(t, "resource ids must be numbers, not names: " + t.text);
    return static_cast<int>(static_cast<int32_t>(expression()));
  }

  // A style expression: terms joined by | or +; "NOT x" removes x's bits from the result and
  // from the statement's default bits.
  uint32_t styleExpression(uint32_t defaults) {
    uint32_t set = 0;
    uint32_t cleared = 0;
    for (;;) {
      if (isName("NOT")) {
        next();
        cleared |= term();
      } else {
        set |= term();
      }
      if (isPunct("|") || isPunct("+")) {
        next();
        continue;
      }
      break;
    }
    return (defaults | set) & ~cleared;
  }

  uint32_t expression() {
    uint32_t value = term();
    while (isPunct("|") || isPunct("+") || isPunct("-") || isPunct("&")) {
      std::string op = next().text;
      uint32_t rhs = term();
      if (op == "|") value |= rhs;
      else if (op == "+") value += rhs;
      else if (op == "-") value -= rhs;
      else value &= rhs;
    }
    return value;
  }

  uint32_t term() {
    const Token& t = next();
    if (t.kind == TokenKind::Number) return static_cast<uint32_t>(t.number);
    if (t.kind == TokenKind::Punct && t.text == "(") {
      uint32_t v = expression();
      expect(")");
      return v;
    }
    if (t.kind == TokenKind::Punct && t.text == "-") return 0u - term();
    if (t.kind == TokenKind::Punct && t.text == "~") return ~term();
    if (t.kind == TokenKind::Name) {
      auto c = win32Constants().find(t.text);
      if (c != win32Constants().end()) return c->second;
      fail(t, "unknown name " + t.text);
    }
    if (t.kind == TokenKind::End) fail(t, "expected a number");
    fail(t, "expected a number but found '" + t.text + "'");
  }

  int16_t coordinate() {
    const Token& at = peek();
    int32_t v = static_cast<int32_t>(expression());
    if (v < -32768 || v > 32767) fail(at, "coordinate out of range");
    return static_cast<int16_t>(v);
  }

  std::string string() {
    const Token& t = next();
    if (t.kind != TokenKind::String) fail(t, "expected a string");
    return t.text;
  }

  Dialog dialog(int id) {
    Dialog d;
    d.id = id;
    d.x = coordinate();
    expect(",");
    d.y = coordinate();
    expect(",");
    d.cx = coordinate();
    expect(",");
    d.cy = coordinate();
    if (isPunct(",")) {  // help id of DIALOGEX
      next();
      expression();
    }
    bool styled = false;
    while (!atBegin()) {
      const Token& statement = next();
      if (statement.kind != TokenKind::Name) fail(statement, "expected BEGIN or a dialog statement");
      if (statement.text == "STYLE") {
        d.style = styleExpression(0);
        styled = true;
      } else if (statement.text == "EXSTYLE") {
        d.exStyle = styleExpression(0);
      } else if (statement.text == "CAPTION") {
        d.caption = string();
      } else if (statement.text == "FONT") {
        d.pointSize = static_cast<int>(expression());
        expect(",");
        d.fontName = string();
        while (isPunct(",")) {  // weight, italic, charset of DIALOGEX
          next();
          expression();
        }
      } else if (statement.text == "LANGUAGE") {
        expression();
        expect(",");
        expression();
      } else {
        fail(statement, "unsupported dialog statement " + statement.text);
      }
    }
    if (!styled) d.style = 0x80000000u | 0x00800000 | 0x00080000;  // popup, border, system menu
    if (!d.caption.empty()) d.style |= 0x00C00000;
    if (!d.fontName.empty()) d.style |= 0x40;
    next();
    while (!atEnd()) d.items.push_back(control());
    next();
    return d;
  }

  void itemText(DialogItem& item) {
    const Token& t = peek();
    if (t.kind == TokenKind::String) {
      item.text = next().text;
    } else {
      item.textOrdinal = static_cast<int>(expression());
    }
  }

  void rectangle(DialogItem& item) {
    item.x = coordinate();
    expect(",");
    item.y = coordinate();
    expect(",");
    item.cx = coordinate();
    expect(",");
    item.cy = coordinate();
  }

  DialogItem control() {
    const Token& keyword = next();
    if (keyword.kind != TokenKind::Name) fail(keyword, "expected a control or END");
    DialogItem item;
    const std::string& k = keyword.text;
    uint32_t defaults = kChildVisible;
    if (k == "LTEXT" || k == "CTEXT" || k == "RTEXT") {
      item.className = "Static";
      defaults |= 0x00020000 | (k == "LTEXT" ? 0u : k == "CTEXT" ? 1u : 2u);
    } else if (k == "PUSHBUTTON" || k == "DEFPUSHBUTTON") {
      item.className = "Button";
      defaults |= 0x00010000 | (k == "DEFPUSHBUTTON" ? 1u : 0u);
    } else if (k == "GROUPBOX") {
      item.className = "Button";
      defaults |= 7;
    } else if (k == "CONTROL") {
      itemText(item);
      expect(",");
      item.id = static_cast<int>(static_cast<int32_t>(expression()));
      expect(",");
      const Token& cls = next();
      if (cls.kind == TokenKind::String) item.className = cls.text;
      else if (cls.kind == TokenKind::Name && (cls.text == "STATIC" || cls.text == "BUTTON" || cls.text == "EDIT"))
        item.className = cls.text == "STATIC" ? "Static" : cls.text == "BUTTON" ? "Button" : "Edit";
      else fail(cls, "expected a window class");
      expect(",");
      item.style = styleExpression(kChildVisible);
      expect(",");
      rectangle(item);
      if (isPunct(",")) {
        next();
        item.exStyle = styleExpression(0);
      }
      return item;
    } else {
      fail(keyword, "unsupported control " + k);
    }
    itemText(item);
    expect(",");
    item.id = static_cast<int>(static_cast<int32_t>(expression()));
    expect(",");
    rectangle(item);
    item.style = defaults;
    if (isPunct(",")) {
      next();
      item.style = styleExpression(defaults);
      if (isPunct(",")) {
        next();
        item.exStyle = styleExpression(0);
      }
    }
    return item;
  }

  FileResource file(int id, int type, const Token& kind) {
    const Token& name = next();
    if (name.kind != TokenKind::String) fail(name, "expected the file name of the " + kind.text);
    FileResource f;
    f.type = type;
    f.id = id;
    std::string from = name.where.substr(0, name.where.rfind(':'));
    f.path = lexer_.locate(name.text, from);
    if (f.path.empty()) fail(name, "file not found: " + name.text);
    std::ifstream in(f.path, std::ios::binary);
    f.bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    bool good = type == 2 ? f.bytes.size() > 54 && f.bytes[0] == 'B' && f.bytes[1] == 'M'
                          : f.bytes.size() > 22 && f.bytes[0] == 0 && f.bytes[1] == 0 &&
                                f.bytes[2] == 1 && f.bytes[3] == 0;
    if (!good) fail(name, name.text + " is not a " + (type == 2 ? ".bmp" : ".ico") + " file");
    return f;
  }

  void versionNumbers(uint16_t out[4]) {
    for (int i = 0; i < 4; ++i) {
      if (i) expect(",");
      out[i] = static_cast<uint16_t>(expression());
    }
  }

  Version version(int id) {
    Version v;
    v.id = id;
    while (!atBegin()) {
      const Token& statement = next();
      if (statement.kind != TokenKind::Name) fail(statement, "expected BEGIN or a version statement");
      const std::string& s = statement.text;
      if (s == "FILEVERSION") versionNumbers(v.fileVersion);
      else if (s == "PRODUCTVERSION") versionNumbers(v.productVersion);
      else if (s == "FILEOS") v.fileOs = expression();
      else if (s == "FILETYPE") v.fileType = expression();
      else if (s == "FILEFLAGSMASK" || s == "FILEFLAGS" || s == "FILESUBTYPE") styleExpression(0);
      else fail(statement, "unsupported version statement " + s);
    }
    next();
    while (!atEnd()) {
      const Token& block = next();
      if (block.kind != TokenKind::Name || block.text != "BLOCK") fail(block, "expected BLOCK");
      std::string name = string();
      expectBegin();
      if (name == "StringFileInfo") {
        while (!atEnd()) {
          const Token& inner = next();
          if (inner.kind != TokenKind::Name || inner.text != "BLOCK") fail(inner, "expected BLOCK");
          v.stringBlock = string();
          expectBegin();
          while (!atEnd()) {
            const Token& value = next();
            if (value.kind != TokenKind::Name || value.text != "VALUE") fail(value, "expected VALUE");
            std::string key = string();
            std::string text;
            while (isPunct(",")) {
              next();
              text += string();
            }
            v.strings.emplace_back(key, text);
          }
          next();
        }
      } else {
        // VarFileInfo: the translation list, which the table does not keep.
        while (!atEnd()) {
          const Token& value = next();
          if (value.kind != TokenKind::Name || value.text != "VALUE") fail(value, "expected VALUE");
          string();
          while (isPunct(",")) {
            next();
            if (peek().kind == TokenKind::String) next();
            else expression();
          }
        }
      }
      expectEnd();
    }
    next();
    return v;
  }

  Lexer& lexer_;
  const std::vector<Token>& tokens_;
  size_t position_ = 0;
};

}  // namespace

Script parseScript(Lexer& lexer, const std::string& path) {
  std::vector<Token> tokens = lexer.read(path);
  return Parser(lexer, tokens).parse();
}

}  // namespace rcgen
