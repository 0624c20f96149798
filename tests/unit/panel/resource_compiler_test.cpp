// vexa_rcgen on good and bad scripts: bad input gets "file:line: message", exit 1, and leaves
// the earlier output as it was.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace {

class ResourceCompilerTest : public ::testing::Test {
protected:
  void SetUp() override {
    char pattern[] = "/tmp/vexa-rcgen-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir = pattern;
  }
  void TearDown() override { std::system(("rm -rf '" + dir + "'").c_str()); }

  void write(const std::string& name, const std::string& text) {
    std::ofstream(dir + "/" + name, std::ios::binary) << text;
  }
  std::string read(const std::string& name) {
    std::ifstream in(dir + "/" + name, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

  // Runs the compiler on script.rc; returns its exit status, with its messages in `errors`.
  int compile(const std::string& script, const std::string& extra = "") {
    write("script.rc", script);
    std::string command = std::string(VEXA_RCGEN) + " " + extra + " '" + dir + "/script.rc' '" +
                          dir + "/table.cpp' 2> '" + dir + "/errors.txt'";
    int status = std::system(command.c_str());
    errors = read("errors.txt");
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  std::string dir;
  std::string errors;
};

TEST_F(ResourceCompilerTest, BadScriptsNameTheFileAndLine) {
  struct Case {
    const char* script;
    const char* message;
  };
  const Case cases[] = {
      {"1 DIALOG 0, 0, 10\nBEGIN\nEND\n", "script.rc:2: expected ','"},
      {"1 DIALOG 0, 0, 10, 10\nSTYLE WS_POPUP | WS_NOSUCH\nBEGIN\nEND\n", "script.rc:2: unknown name WS_NOSUCH"},
      {"PANEL DIALOG 0, 0, 10, 10\nBEGIN\nEND\n", "script.rc:1: resource ids must be numbers"},
      {"1 BITMAP \"missing.bmp\"\n", "script.rc:1: file not found: missing.bmp"},
      {"1 BITMAP \"fake.bmp\"\n", "script.rc:1: fake.bmp is not a .bmp file"},
      {"1 DIALOG 0, 0, 10, 10\nCAPTION \"open\nBEGIN\nEND\n", "script.rc:2: unterminated string"},
      {"#include \"nowhere.h\"\n", "script.rc:1: included file not found: nowhere.h"},
      {"#if FOO > 1\n#endif\n", "script.rc:1: #if supports only"},
      {"#ifdef A\n", "#if without #endif"},
      {"#define F(x) x\n", "script.rc:1: macros with arguments are not supported"},
      {"1 MENU\nBEGIN\nEND\n", "script.rc:1: unsupported resource type MENU"},
      {"1 DIALOG 0, 0, 10, 10\nBEGIN\n  LTEXT \"a\", 1, 0, 0, 5, 5\n", "expected a control or END"},
      {"1 DIALOG 0, 0, 99999, 10\nBEGIN\nEND\n", "script.rc:1: coordinate out of range"},
      {"/* never closed\n", "script.rc:1: unterminated comment"},
  };
  write("fake.bmp", "not a bitmap at all, but long enough to be taken for one if unchecked....");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.script);
    write("table.cpp", "earlier output");
    EXPECT_EQ(compile(c.script), 1);
    EXPECT_NE(errors.find(c.message), std::string::npos) << errors;
    EXPECT_EQ(read("table.cpp"), "earlier output");
  }
}

TEST_F(ResourceCompilerTest, ScriptWithDefinesAndIncludesBecomesATable) {
  write("ids.h", "#pragma once\n#define IDD_THING 7 // a dialog\n/* a picture */ #define IDB_THING 9\n");
  EXPECT_EQ(compile("#include <windows.h>\n#include \"ids.h\"\n"
                    "#ifndef TITLE\n#define TITLE \"Fallback\"\n#endif\n"
                    "IDD_THING DIALOGEX 1, 2, 30, 40\n"
                    "STYLE WS_POPUP | WS_CAPTION | NOT WS_CAPTION\nCAPTION TITLE\nFONT 8, \"Sans\"\n"
                    "{\n  PUSHBUTTON \"Say \"\"hi\"\"\", 5, 1, 2, 3, 4, NOT WS_TABSTOP\n"
                    "  CONTROL IDB_THING, -1, \"Static\", SS_BITMAP, 0, 0, 8, 8\n}\n",
                    "-D TITLE=\\\"Given\\\""),
            0)
      << errors;
  std::string table = read("table.cpp");
  EXPECT_NE(table.find("\"Given\""), std::string::npos);
  EXPECT_NE(table.find("{kResourceDialog, 7, &dialog7"), std::string::npos);
  // A caption turns WS_CAPTION back on; FONT adds DS_SETFONT.
  EXPECT_NE(table.find("0x80C00040u, 0x00000000u, 1, 2, 30, 40"), std::string::npos) << table;
  EXPECT_NE(table.find("{\"Button\", \"Say \\\"hi\\\"\", -1, 5, 0x50000000u"), std::string::npos) << table;
  EXPECT_NE(table.find("{\"Static\", nullptr, 9, -1, 0x5000000Eu"), std::string::npos) << table;
}

TEST_F(ResourceCompilerTest, TheModulesScriptCompiles) {
  write("module.rc", "#define VEXA_PANEL_CAPTION \"TX ASIO 2 Control Panel\"\n#include \"module_resources.rc\"\n");
  std::string command = std::string(VEXA_RCGEN) + " -I " + VEXA_RESOURCE_DIR + " --depfile '" +
                        dir + "/table.d' '" + dir + "/module.rc' '" + dir + "/table.cpp'";
  ASSERT_EQ(std::system(command.c_str()), 0);
  std::string deps = read("table.d");
  EXPECT_NE(deps.find("product.bmp"), std::string::npos);
  EXPECT_NE(deps.find("panel_resource_ids.h"), std::string::npos);
  EXPECT_NE(read("table.cpp").find("\"TX ASIO 2 Control Panel\""), std::string::npos);
}

}  // namespace
