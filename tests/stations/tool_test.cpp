// velkor-stations: its answers and exit statuses.
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <sys/wait.h>

namespace {

struct ToolRun {
    int status;
    std::string out;
    std::string err;
};

class ToolTest : public testing::Test {
  protected:
    ToolRun run(const std::string& arguments) {
        const std::string errFile = (dir.path / "stderr").string();
        const std::string command = "VELKOR_STATIONS='" + (dir.path / "s.db").string() + "' " +
                                    VELKOR_STATIONS_TOOL + " " + arguments + " 2>'" + errFile + "'";
        ToolRun r{};
        FILE* pipe = popen(command.c_str(), "r");
        std::array<char, 4096> buffer{};
        while (std::size_t n = std::fread(buffer.data(), 1, buffer.size(), pipe)) {
            r.out.append(buffer.data(), n);
        }
        const int status = pclose(pipe);
        r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        std::ifstream in(errFile);
        r.err.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        return r;
    }
    std::string write(const std::string& name, const std::string& text) {
        const std::string file = (dir.path / name).string();
        std::ofstream(file, std::ios::binary) << text;
        return file;
    }
    TempDir dir;
};

TEST_F(ToolTest, ImportsAnswersAndExports) {
    const std::string sked =
        write("sked-a26.csv", "9650;1800-1900;Mo-Fr;XYZ;Radio Example;E;Eu;/ABC;1;;\r\n"
                              "7335;2300-0100;;CAN;Example Time;-TS;NAm;;1;;\r\n"
                              "5000;0730-0830;irr;S;Sometimes;-CW;Eu;;1;;\r\n"
                              "9650;1800-1900;Mo-Xy;XYZ;Bad days;E;Eu;;1;;\r\n"
                              "9650;1800;Mo;XYZ;Bad time;E;Eu;;1;;\r\n");
    ToolRun r = run("import " + sked);
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.err.find("2 lines skipped (lines 4, 5)"), std::string::npos) << r.err;

    r = run("now --at 2026-03-02T18:30Z --csv");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "frequency_hz,name,mode,start_utc,end_utc,days,language,target,country,"
                     "source,notes\r\n9650000,Radio Example,,1800,1900,Mo-Fr,E,Eu,XYZ,"
                     "schedule:sked-a26.csv,\r\n");
    r = run("now --at 2026-03-03T00:30Z --near 7330");
    EXPECT_NE(r.out.find("Example Time"), std::string::npos);
    EXPECT_EQ(r.out.find("Radio Example"), std::string::npos);
    r = run("now --at 2026-03-03T08:00Z");
    EXPECT_NE(r.out.find("(irregular)"), std::string::npos) << r.out;

    r = run("find example --csv");
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 3);

    const std::string exported = (dir.path / "bookmarks.csv").string();
    EXPECT_EQ(run("export --format bookmarks " + exported).status, 0);
    EXPECT_EQ(run("import " + exported).status, 0);
    const std::string everything = run("export --format csv").out;
    EXPECT_EQ(std::count(everything.begin(), everything.end(), '\n'), 1 + 3 + 3);
    EXPECT_EQ(run("memories").status, 0);
}

TEST_F(ToolTest, ExitStatuses) {
    EXPECT_EQ(run("").status, 2);
    EXPECT_EQ(run("fly").status, 2);
    EXPECT_EQ(run("import").status, 2);
    EXPECT_EQ(run("export --format xml").status, 2);
    EXPECT_EQ(run("now --at yesterday").status, 2);
    EXPECT_EQ(run("now --near 99999").status, 2);
    EXPECT_EQ(run("find").status, 2);
    EXPECT_EQ(run("memories --frobnicate").status, 2);
    const ToolRun help = run("--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("export --format csv|bookmarks"), std::string::npos);
    // A missing file is named; a good one beside it still goes in.
    const std::string good = write("good.csv", "9650;1800-1900;;XYZ;Fine;E;Eu;;1;;\r\n");
    const ToolRun r = run("import " + (dir.path / "missing.csv").string() + " " + good);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("missing.csv"), std::string::npos);
    EXPECT_NE(run("find fine").out.find("Fine"), std::string::npos);
    EXPECT_EQ(run("import " + write("noise.bin", "\x01\x02 hello")).status, 1);
}

} // namespace
