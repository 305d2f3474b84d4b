// tarnvel as a user runs it: greeting the emulated sensor through the whole
// device link, and the log it leaves in the working directory.

#include "runtime/ReturnCode.h"
#include "sensor-sim/SensorSim.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/wait.h>

namespace {

struct ProgramRun {
  int iExit;
  std::string strOutput;
};

ProgramRun Tarnvel(const std::string &p_strArgs) {
  const std::string command = std::string(KTX_TARNVEL_PROGRAM) + " --settings ./cli.conf " + p_strArgs + " 2>&1";
  ProgramRun run{-1, {}};
  FILE *pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return run;
  char buffer[512];
  while (fgets(buffer, sizeof buffer, pipe) != nullptr) run.strOutput += buffer;
  const int status = pclose(pipe);
  run.iExit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

int Count(const std::string &p_strText, const std::string &p_strPart) {
  int n = 0;
  for (size_t at = p_strText.find(p_strPart); at != std::string::npos; at = p_strText.find(p_strPart, at + 1)) ++n;
  return n;
}

TEST(Cli, HelloGreetsTheEmulatedSensorAndLeavesACleanLog) {
  KTX_SimOptions options;
  KTX_SimSensorConfig sensor;
  sensor.u16Port = 0;
  options.voSensors.push_back(sensor);
  KTX_SensorSim sim(options);
  ASSERT_EQ(sim.Start(), KTX_RC_OK);
  const std::string address = "127.0.0.1:" + std::to_string(sim.GetUdpPort(0));

  const ProgramRun run = Tarnvel("hello " + address + " 2");
  sim.Stop();
  EXPECT_EQ(run.iExit, 0) << run.strOutput;
  EXPECT_EQ(Count(run.strOutput, address + ": KTX_RC_OK in "), 2) << run.strOutput;
  // The answer carries the sensor's device id.
  EXPECT_NE(run.strOutput.find("0A 00 00 00 00 00 00 01"), std::string::npos) << run.strOutput;

  std::ifstream in("_Log_TarnvelWizard.txt", std::ios::binary);
  const std::string log((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(log.rfind("   1:     INFO ", 0), 0u) << log;
  EXPECT_NE(log.find("Tarnvel Wizard - 1.9.0.b 2017 08 10 21:09:14\r\n"), std::string::npos);
  EXPECT_NE(log.find("=============== Base Class ======================="), std::string::npos);
  EXPECT_EQ(log.find(" *** "), std::string::npos) << log;
}

TEST(Cli, RefusesWhatItCannotDo) {
  struct Case {
    const char *args;
    int exit;
    const char *says;
  } cases[] = {
      {"", 2, "usage: tarnvel"},
      {"frobnicate", 2, "unknown command frobnicate"},
      {"hello", 2, "hello needs an address"},
      {"hello 1.2.3", 2, "not a sensor address: 1.2.3"},
      {"hello Offline", 2, "not a sensor address: Offline"},
      {"version", 0, "Tarnvel Wizard - 1.9.0.b 2017 08 10 21:09:14"},
  };
  for (const Case &c : cases) {
    const ProgramRun run = Tarnvel(c.args);
    EXPECT_EQ(run.iExit, c.exit) << c.args << ": " << run.strOutput;
    EXPECT_NE(run.strOutput.find(c.says), std::string::npos) << c.args << ": " << run.strOutput;
  }
}

} // namespace
