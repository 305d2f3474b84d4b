// tarnvel-sensor-sim: emulated sensors of the supervisor protocol on UDP and on
// pseudo-terminal RS-485 buses, for the wizard, the command-line front and their
// tests. Runs until interrupted; prints one line per sensor with where it listens.

#include "sensor-sim/SensorSim.h"
#include "sensor-sim/SimOptions.h"
#include "sensor-sim/SimSoftwareImage.h"

#include "runtime/DebugLog.h"
#include "runtime/ReturnCode.h"

#include <csignal>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace {

KTX_SensorSim *g_poSim = nullptr;
volatile sig_atomic_t g_iStop = 0;

void OnSignal(int) {
  g_iStop = 1;
  if (g_poSim != nullptr) {
    // Stop only sets a flag and writes to an eventfd: safe in a handler.
    g_poSim->Stop();
  }
}

int MakeSoftware(const KTX_SimOptions &p_roOptions) {
  std::vector<uint8_t> body(p_roOptions.u32MakeBodyLength);
  for (size_t i = 0; i < body.size(); ++i) {
    body[i] = static_cast<uint8_t>((i * 131u + 7u) >> 3);
  }
  const std::vector<uint8_t> file =
      KTX_SimSoftwareImage::BuildSoftwareFile(p_roOptions.u32MakeProgram, p_roOptions.oMakeVersion, body);
  FILE *out = std::fopen(p_roOptions.strMakeSoftware.c_str(), "wb");
  if (out == nullptr || std::fwrite(file.data(), 1, file.size(), out) != file.size()) {
    std::fprintf(stderr, "tarnvel-sensor-sim: cannot write %s\n", p_roOptions.strMakeSoftware.c_str());
    if (out != nullptr) {
      std::fclose(out);
    }
    return 1;
  }
  std::fclose(out);
  std::printf("%s: program %u, version %s, %zu bytes\n", p_roOptions.strMakeSoftware.c_str(),
              p_roOptions.u32MakeProgram, p_roOptions.oMakeVersion.GetDisplay().c_str(), file.size());
  return 0;
}

} // namespace

int main(int argc, char **argv) {
  KTX_SimOptions options;
  std::string error;
  if (KTX_SimOptionParser::Parse(argc, argv, options, error) != KTX_RC_OK) {
    std::fprintf(stderr, "tarnvel-sensor-sim: %s (see --help)\n", error.c_str());
    return 2;
  }
  if (options.bHelp) {
    std::fputs(KTX_SimOptionParser::HelpText(), stdout);
    return 0;
  }
  if (!options.strMakeSoftware.empty()) {
    return MakeSoftware(options);
  }
  SetLogFileName("_Log_TarnvelSensorSim.txt");
  KTX_SensorSim sim(options);
  const int32_t rc = sim.Open(true);
  if (rc != KTX_RC_OK) {
    std::fprintf(stderr, "tarnvel-sensor-sim: cannot start: %s\n", GetReturnCodeText(rc));
    return 1;
  }
  for (const std::string &line : sim.Describe()) {
    std::printf("%s\n", line.c_str());
  }
  std::fflush(stdout);
  g_poSim = &sim;
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  if (g_iStop == 0) {
    sim.Run();
  }
  g_poSim = nullptr;
  return 0;
}
