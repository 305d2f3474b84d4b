#pragma once
// The program's start-up and shutdown without a user interface: the runtime
// core, the settings and the communication engine, in their fixed order. The
// desktop program and the command-line front both run through it; the desktop
// adds its window steps around it.

#include "runtime/Version.h"

#include <cstdint>
#include <functional>
#include <string>

class KTX_ActiveObject;
class KTX_ProgramSettingsSerializer;

class KTX_RuntimeDriver {
public:
  // The log file every program of the wizard writes in its working directory.
  static constexpr const char *c_szLogFileName = "_Log_TarnvelWizard.txt";
  static constexpr const char *c_szApplicationTitle = "Tarnvel Wizard";
  static constexpr const char *c_szSocketsFailed = "Windows sockets initialization failed.";

  struct Hooks {
    // Makes the settings store (the per-user file store in the programs).
    std::function<KTX_ProgramSettingsSerializer *()> makeSerializer;
    // Creates and deletes the wizard model, where the program has one.
    std::function<void()> createModel;
    std::function<void()> deleteModel;
  };

  explicit KTX_RuntimeDriver(Hooks p_oHooks);

  // Runs the start-up steps. On failure returns the code and leaves the message
  // for the user in GetErrorText(); the caller then runs ShutDown() all the same.
  int32_t StartUp();
  // Runs the shutdown steps; safe after a failed or partial start-up, and once only.
  void ShutDown();

  const std::string &GetErrorText() const { return c_strErrorText; }
  // True once the message reactor was started.
  bool IsReactorRunning() const { return c_bReactorStarted; }

  // The program's own version record: 1.9.0.b, built 2017 08 10 21:09:14.
  static KTX_Version GetProgramVersion();
  // "Tarnvel Wizard - 1.9.0.b 2017 08 10 21:09:14".
  static std::string GetMainWindowTitle();

private:
  Hooks c_oHooks;
  std::string c_strErrorText;
  bool c_bStarted;
  bool c_bSocketsStarted;
  bool c_bReactorStarted;
  bool c_bShutDown;
  KTX_ActiveObject *c_poReactor;
};
