#include "Assembly.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "FileAdvice.h"
#include "HostPorts.h"
#include "RunError.h"
#include "TracingPlatform.h"

namespace stb::app {

TAssembly::TAssembly(upgrade::IInteraction& window, TLogRenderer::TOutput logView, TErrorHandler onError,
                     IInterruptPolicy& interrupts)
    : interrupts_(interrupts),
      window_(window),
      logView_(std::move(logView)),
      logRenderer_([this](const std::string& line) {
        if (logView_) logView_(line);
        log_.Append(line);
      }),
      interruptListener_(interrupts),
      onError_(std::move(onError)) {}

TAssembly::~TAssembly() {
  // Nothing for a late interrupt to let go of or write to once these go.
  interrupts_.SetPortToRelease(serial::kNoHandle);
  interrupts_.SetStopRecord(-1);
}

std::unique_ptr<TAssembly> TAssembly::Build(const TOptions& options, upgrade::IInteraction& window,
                                            TLogRenderer::TOutput logView,
                                            std::unique_ptr<serial::IPeriodicTimer> pollTimer,
                                            TErrorHandler onError, std::string& refusal,
                                            IInterruptPolicy* interrupts) {
  std::unique_ptr<TAssembly> run(new TAssembly(window, std::move(logView), std::move(onError),
                                               interrupts ? *interrupts : ProcessInterruptPolicy()));
  if (!options.LogFile.empty() && !run->log_.Open(options.LogFile)) {
    refusal = "cannot write the log file " + options.LogFile + ": " + std::strerror(errno);
    return nullptr;
  }

  serial::TSerialLinkSeams seams;
  if (!options.Trace.empty()) {
    std::FILE* trace = std::fopen(options.Trace.c_str(), "w");
    if (!trace) {
      refusal = "cannot write the trace " + options.Trace + ": " + std::strerror(errno);
      return nullptr;
    }
    seams.Platform = std::make_shared<serial::TTracingPlatform>(serial::HostSerialPlatform(), trace);
  }
  seams.PollTimer = std::move(pollTimer);
  run->link_ = std::make_unique<serial::TSerialLink>(std::move(seams));
  run->link_->SetComPort(serial::pnCOM1);
  run->link_->SetComPortSpeed(serial::br115200);
  run->link_->SetDevicePath(serial::PortDevicePath(options.Port));

  run->upgrade_ = std::make_unique<upgrade::TUpgrade>(*run->link_, run->window_);
  run->upgrade_->SetResponseTimeoutMs(options.ResponseTimeoutMs);
  run->upgrade_->SetIncludeFolder(options.IncludeDir);
  run->upgrade_->AddListener(&run->logRenderer_);
  run->upgrade_->AddListener(&run->interruptListener_);
  return run;
}

bool TAssembly::StartUp() {
  interrupts_.Install();
  interrupts_.SetStopRecord(log_.Descriptor());
  const bool opened = upgrade_->StartUp();
  interrupts_.SetPortToRelease(link_->PortHandle());
  return opened;
}

void TAssembly::Guarded(const std::function<void()>& handler) {
  // Errors must not unwind through a toolkit's event loop: they end here,
  // in the front end's default error handler.
  try {
    handler();
  } catch (const upgrade::ERunError& error) {
    handlerFailed_ = true;
    onError_({upgrade::DefaultErrorText(error.Text()), error.SystemError(), FileAdvice(error.Problem())});
  } catch (const std::exception& error) {
    handlerFailed_ = true;
    onError_({upgrade::DefaultErrorText(error.what()), 0, {}});
  }
}

void TAssembly::KeyPress(char& key) {
  Guarded([&] { upgrade_->KeyPress(key); });
}

void TAssembly::ForeignKeyPress() {
  Guarded([&] { upgrade_->ForeignKeyPress(); });
}

void TAssembly::Tick() {
  Guarded([&] { upgrade_->Tick(); });
  // A port that went away and was opened again has a new handle.
  interrupts_.SetPortToRelease(link_->PortHandle());
}

}  // namespace stb::app
