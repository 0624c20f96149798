#include "rc_lexer.h"

#include <cctype>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

namespace rcgen {
namespace {

bool isFile(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string directoryOf(const std::string& path) {
  size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

[[noreturn]] void fail(const std::string& where, const std::string& message) {
  throw Failure{where + ": " + message};
}

// Removes comments (keeping line breaks, so line numbers stay right) and joins continued lines.
std::string stripComments(const std::string& text, const std::string& path) {
  std::string out;
  out.reserve(text.size());
  size_t i = 0;
  int line = 1;
  while (i < text.size()) {
    char c = text[i];
    if (c == '"') {
      out += c;
      ++i;
      while (i < text.size() && text[i] != '\n') {
        out += text[i];
        if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] != '\n') {
          out += text[++i];
        } else if (text[i] == '"') {
          if (i + 1 < text.size() && text[i + 1] == '"') {
            out += text[++i];  // "" inside a string is a quote
          } else {
            ++i;
            break;
          }
        }
        ++i;
      }
      continue;
    }
    if (c == '/' && i + 1 < text.size() && text[i + 1] == '/') {
      while (i < text.size() && text[i] != '\n') ++i;
      continue;
    }
    if (c == '/' && i + 1 < text.size() && text[i + 1] == '*') {
      int startLine = line;
      i += 2;
      while (i + 1 < text.size() && !(text[i] == '*' && text[i + 1] == '/')) {
        if (text[i] == '\n') {
          out += '\n';
          ++line;
        }
        ++i;
      }
      if (i + 1 >= text.size()) fail(path + ":" + std::to_string(startLine), "unterminated comment");
      i += 2;
      out += ' ';
      continue;
    }
    if (c == '\\' && i + 1 < text.size() && text[i + 1] == '\n') {
      // A continued line: keep the break after it so later lines keep their numbers.
      i += 2;
      ++line;
      out += ' ';
      continue;
    }
    if (c == '\n') ++line;
    out += c;
    ++i;
  }
  return out;
}

std::string trim(const std::string& s) {
  size_t b = s.find_first_not_of(" \t\r");
  if (b == std::string::npos) return "";
  size_t e = s.find_last_not_of(" \t\r");
  return s.substr(b, e - b + 1);
}

}  // namespace

Lexer::Lexer(std::vector<std::string> includeDirs, std::map<std::string, std::string> defines)
    : includeDirs_(std::move(includeDirs)) {
  for (const auto& [name, value] : defines) {
    std::vector<Token> body;
    tokenizeLine(value, "<command line>", body);
    macros_[name] = body;
  }
}

std::string Lexer::locate(const std::string& name, const std::string& fromFile) const {
  if (!name.empty() && name[0] == '/') return isFile(name) ? name : std::string();
  std::string beside = directoryOf(fromFile) + "/" + name;
  if (isFile(beside)) return beside;
  for (const std::string& dir : includeDirs_) {
    std::string candidate = dir + "/" + name;
    if (isFile(candidate)) return candidate;
  }
  return {};
}

std::vector<Token> Lexer::read(const std::string& path) {
  std::vector<Token> out;
  readFile(path, out, 0);
  Token end;
  end.kind = TokenKind::End;
  end.where = path + ": end of file";
  out.push_back(end);
  return out;
}

void Lexer::readFile(const std::string& path, std::vector<Token>& out, int depth) {
  if (depth > 16) fail(path, "includes nest too deeply");
  std::ifstream in(path, std::ios::binary);
  if (!in) fail(path, "cannot be read");
  files_.push_back(path);
  std::stringstream buffer;
  buffer << in.rdbuf();
  std::istringstream lines(stripComments(buffer.str(), path));

  struct Condition {
    bool taking;
    bool sawElse;
  };
  std::vector<Condition> conditions;
  auto taking = [&] {
    for (const Condition& c : conditions)
      if (!c.taking) return false;
    return true;
  };

  std::string line;
  int number = 0;
  while (std::getline(lines, line)) {
    ++number;
    std::string where = path + ":" + std::to_string(number);
    std::string text = trim(line);
    if (text.empty()) continue;
    if (text[0] != '#') {
      if (taking()) tokenizeLine(text, where, out);
      continue;
    }
    std::istringstream words(text.substr(1));
    std::string directive;
    words >> directive;
    std::string rest;
    std::getline(words, rest);
    rest = trim(rest);

    if (directive == "ifdef" || directive == "ifndef") {
      bool defined = macros_.count(rest) != 0;
      conditions.push_back({directive == "ifdef" ? defined : !defined, false});
    } else if (directive == "if") {
      bool value;
      if (rest == "0") value = false;
      else if (rest == "1") value = true;
      else if (rest.rfind("defined", 0) == 0) {
        std::string name = trim(rest.substr(7));
        if (!name.empty() && name.front() == '(' && name.back() == ')')
          name = trim(name.substr(1, name.size() - 2));
        value = macros_.count(name) != 0;
      } else {
        fail(where, "#if supports only 0, 1 and defined(NAME): " + rest);
      }
      conditions.push_back({value, false});
    } else if (directive == "else") {
      if (conditions.empty() || conditions.back().sawElse) fail(where, "#else without #if");
      conditions.back().taking = !conditions.back().taking;
      conditions.back().sawElse = true;
    } else if (directive == "endif") {
      if (conditions.empty()) fail(where, "#endif without #if");
      conditions.pop_back();
    } else if (!taking()) {
      continue;
    } else if (directive == "include") {
      if (rest.size() < 2) fail(where, "#include needs a file name");
      if (rest.front() == '<') continue;  // system headers: their constants are built in
      if (rest.front() != '"' || rest.back() != '"') fail(where, "bad #include: " + rest);
      std::string name = rest.substr(1, rest.size() - 2);
      std::string found = locate(name, path);
      if (found.empty()) fail(where, "included file not found: " + name);
      readFile(found, out, depth + 1);
    } else if (directive == "define") {
      size_t n = 0;
      while (n < rest.size() && (std::isalnum(static_cast<unsigned char>(rest[n])) || rest[n] == '_'))
        ++n;
      if (n == 0) fail(where, "#define needs a name");
      std::string name = rest.substr(0, n);
      if (n < rest.size() && rest[n] == '(') fail(where, "macros with arguments are not supported: " + name);
      std::vector<Token> body;
      tokenizeLine(trim(rest.substr(n)), where, body);
      macros_[name] = body;
    } else if (directive == "undef") {
      macros_.erase(rest);
    } else if (directive == "pragma") {
      continue;
    } else if (directive == "error") {
      fail(where, "#error " + rest);
    } else {
      fail(where, "unsupported directive #" + directive);
    }
  }
  if (!conditions.empty()) fail(path, "#if without #endif");
}

void Lexer::tokenizeLine(const std::string& line, const std::string& where, std::vector<Token>& out) {
  size_t i = 0;
  while (i < line.size()) {
    unsigned char c = static_cast<unsigned char>(line[i]);
    if (std::isspace(c)) {
      ++i;
      continue;
    }
    Token t;
    t.where = where;
    if (std::isalpha(c) || c == '_') {
      size_t b = i;
      while (i < line.size() && (std::isalnum(static_cast<unsigned char>(line[i])) || line[i] == '_')) ++i;
      t.kind = TokenKind::Name;
      t.text = line.substr(b, i - b);
      std::set<std::string> active;
      expand(t, out, active);
      continue;
    }
    if (std::isdigit(c)) {
      size_t b = i;
      while (i < line.size() && std::isalnum(static_cast<unsigned char>(line[i]))) ++i;
      std::string digits = line.substr(b, i - b);
      while (!digits.empty() && (digits.back() == 'L' || digits.back() == 'l' || digits.back() == 'U' ||
                                 digits.back() == 'u'))
        digits.pop_back();
      size_t used = 0;
      unsigned long value = 0;
      try {
        value = std::stoul(digits, &used, 0);
      } catch (...) {
        used = 0;
      }
      if (digits.empty() || used != digits.size()) fail(where, "bad number: " + line.substr(b, i - b));
      t.kind = TokenKind::Number;
      t.number = static_cast<long>(value);
      t.text = digits;
      out.push_back(t);
      continue;
    }
    if (c == '"') {
      ++i;
      std::string value;
      bool closed = false;
      while (i < line.size()) {
        char d = line[i++];
        if (d == '"') {
          if (i < line.size() && line[i] == '"') {
            value += '"';
            ++i;
            continue;
          }
          closed = true;
          break;
        }
        if (d == '\\' && i < line.size()) {
          char e = line[i++];
          switch (e) {
            case 'n': value += '\n'; break;
            case 't': value += '\t'; break;
            case 'a': value += '\b'; break;
            case '0': value += '\0'; break;
            default: value += e; break;
          }
          continue;
        }
        value += d;
      }
      if (!closed) fail(where, "unterminated string");
      t.kind = TokenKind::String;
      t.text = value;
      out.push_back(t);
      continue;
    }
    if (std::string(",|(){}+-~&!").find(static_cast<char>(c)) != std::string::npos) {
      t.kind = TokenKind::Punct;
      t.text = std::string(1, static_cast<char>(c));
      out.push_back(t);
      ++i;
      continue;
    }
    fail(where, std::string("unexpected character '") + static_cast<char>(c) + "'");
  }
}

void Lexer::expand(const Token& token, std::vector<Token>& out, std::set<std::string>& active) {
  auto macro = macros_.find(token.text);
  if (token.kind != TokenKind::Name || macro == macros_.end() || active.count(token.text)) {
    out.push_back(token);
    return;
  }
  active.insert(token.text);
  for (Token inner : macro->second) {
    inner.where = token.where;
    expand(inner, out, active);
  }
  active.erase(token.text);
}

}  // namespace rcgen
