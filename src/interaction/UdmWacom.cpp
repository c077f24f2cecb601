#include "interaction/UdmWacom.h"

#include <algorithm>
#include <chrono>

#include "base/Rounding.h"
#include "domain/DualImage.h"

namespace brellin {

void TPressurePacketSource::Send(double Pressure) {
  TPenPacket p;
  p.NormalPressure = Round(std::clamp(Pressure, 0.0, 1.0) * 1023.0);
  if (OnPacket) OnPacket(p);
}

int64_t SteadyMilliseconds() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

TdmWacom::TdmWacom(TPenPacketSource* Source, TMillisecondClock Clock)
    : FSource(Source), FClock(std::move(Clock)) {
  if (!FSource || !FSource->Available()) return;
  FSource->PressureAxis(MinPressure, MaxPressure);
  HalfRange = int32_t((int64_t(MaxPressure) - MinPressure) / 2);
  FSource->OnPacket = [this](const TPenPacket& p) { Packet(p); };
}

TdmWacom::~TdmWacom() {
  if (FSource) FSource->OnPacket = nullptr;
  if (FInstalled) SetPressureSource(nullptr);
}

void TdmWacom::Packet(const TPenPacket& P) {
  LastPacketTime = FClock();
  HasPacket = true;
  Cursor = P.Cursor;
  Buttons = P.Buttons;
  X = P.X;
  Y = P.Y;
  NormalPressure = P.NormalPressure;
  Azimuth = P.Azimuth;
  Altitude = P.Altitude;
  Twist = P.Twist;
}

float TdmWacom::PressureFactor() const {
  if (!HasPacket || FClock() - LastPacketTime >= RecentMilliseconds || HalfRange == 0) return 1.0f;
  const float f = float(double(NormalPressure) / double(HalfRange));
  return f == 0.0f ? 0.01f : f;
}

void TdmWacom::Install() {
  SetPressureSource([this] { return double(PressureFactor()); });
  FInstalled = true;
}

}  // namespace brellin
