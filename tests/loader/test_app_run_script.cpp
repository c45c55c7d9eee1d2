/*
** test_app_run_script.cpp - scripts/run.sh without a display: it says plainly that the
** loader needs a graphical session, names the window test that runs without one, and ends
** with status 1 before it installs, builds or starts anything.
*/
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <sys/wait.h>

namespace {

TEST(RunScript, WithoutADisplayItSaysSoAndStartsNothing) {
  std::string cmd = "env -u DISPLAY -u WAYLAND_DISPLAY bash " ZENT_SOURCE_DIR "/scripts/run.sh 2>&1";
  FILE* f = popen(cmd.c_str(), "r");
  ASSERT_NE(f, nullptr);
  std::string out;
  char buf[256];
  while (fgets(buf, sizeof buf, f)) out += buf;
  int status = pclose(f);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 1);
  EXPECT_NE(out.find("there is no display"), std::string::npos) << out;
  EXPECT_NE(out.find("graphical session"), std::string::npos) << out;
  EXPECT_EQ(out.find("zent-unit"), std::string::npos) << out;  // no simulator started
  EXPECT_EQ(out.find("setup:"), std::string::npos) << out;     // nothing installed
}

}  // namespace
