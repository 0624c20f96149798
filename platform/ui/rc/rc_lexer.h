// Reads .rc source as windres does before parsing: preprocessing directives (#include,
// #define, #ifdef/#ifndef/#else/#endif), comments, then tokens with object-like macros expanded.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

namespace rcgen {

enum class TokenKind { Name, Number, String, Punct, End };

struct Token {
  TokenKind kind = TokenKind::End;
  std::string text;    // name, punctuation, or the string's value
  long number = 0;
  std::string where;   // "file:line" for messages
};

struct Failure {
  std::string message;
};

class Lexer {
public:
  Lexer(std::vector<std::string> includeDirs, std::map<std::string, std::string> defines);

  // The whole file, preprocessed and expanded. Throws Failure on bad input.
  std::vector<Token> read(const std::string& path);
  // Every file that was read (for build dependencies).
  const std::vector<std::string>& files() const { return files_; }
  // Finds a file named in the source: beside the naming file first, then the include dirs.
  std::string locate(const std::string& name, const std::string& fromFile) const;

private:
  void readFile(const std::string& path, std::vector<Token>& out, int depth);
  void tokenizeLine(const std::string& line, const std::string& where, std::vector<Token>& out);
  void expand(const Token& token, std::vector<Token>& out, std::set<std::string>& active);

  std::vector<std::string> includeDirs_;
  std::map<std::string, std::vector<Token>> macros_;
  std::vector<std::string> files_;
};

}  // namespace rcgen
