#include "config/reload_command.h"

#include <spdlog/logger.h>

#include <cmath>
#include <exception>

#include "config/config.h"
#include "host/game_functions.h"
#include "plugin/contained.h"
#include "plugin/plugin.h"

namespace {

struct Colour8 {
  int red, green, blue, alpha;
};
constexpr Colour8 kGreen{0, 255, 0, 255};
constexpr Colour8 kRed{255, 0, 0, 255};

float SrgbToLinear(int channel) {
  const double c = channel / 255.0;
  return static_cast<float>(c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4));
}

// Chat colours are given as 8-bit sRGB and sent as linear intensities.
FLinearColor ToLinear(Colour8 colour) {
  return {SrgbToLinear(colour.red), SrgbToLinear(colour.green), SrgbToLinear(colour.blue),
          static_cast<float>(colour.alpha / 255.0)};
}

void TellPlayer(APlayerController* player, const char* text, Colour8 colour) {
  if (player == nullptr) return;
  FString message(text);
  game::ClientServerChatDirectMessage(static_cast<AShooterPlayerController*>(player), &message,
                                      ToLinear(colour), false);
}

void ReplyToRcon(RCONClientConnection* connection, RCONPacket* packet, const char* text) {
  // Without a connection or a request there is no one to answer.
  if (connection == nullptr || packet == nullptr) return;
  FString message(text);
  game::SendRconMessage(connection, packet->Id, 0, &message);
}

// Reads the configuration and reports the outcome through `answer`; the reason of a failure goes
// to the log only.
template <typename Answer>
void Reload(Answer&& answer) {
  try {
    ReadConfig();
    answer("Kestrovar: Reloaded config", kGreen);
  } catch (const std::exception& error) {
    PluginLogger->critical("Failed to reload config! \n {}", error.what());
    answer("Kestrovar: Failed to reload config", kRed);
  }
}

}  // namespace

void ReloadConfigConsoleCmd(APlayerController* player, FString* /*command*/, bool /*unused*/) {
  RunContained("kvar.reload", [&] {
    Reload([&](const char* text, Colour8 colour) { TellPlayer(player, text, colour); });
  });
}

void ReloadConfigRconCmd(RCONClientConnection* connection, RCONPacket* packet, UWorld* /*world*/) {
  RunContained("kvar.reload", [&] {
    Reload([&](const char* text, Colour8) { ReplyToRcon(connection, packet, text); });
  });
}
