// Pen pressure: the last pen packet and the pressure factor the painting
// code multiplies stroke lengths and widths by. Packets come from a
// packet source (the desktop program's tablet events); without one, or when
// the pen has not spoken for 200 ms, the factor is 1.0.
#pragma once

#include <cstdint>
#include <functional>

namespace brellin {

// One pen packet, the fields in the tablet's order.
struct TPenPacket {
  int32_t Cursor = 0, Buttons = 0, X = 0, Y = 0, NormalPressure = 0;
  int32_t Azimuth = 0, Altitude = 0, Twist = 0;
};

// Where pen packets come from. A source calls OnPacket for every packet.
class TPenPacketSource {
 public:
  virtual ~TPenPacketSource() = default;
  virtual bool Available() const = 0;
  // The normal-pressure axis of the device.
  virtual void PressureAxis(int32_t& Min, int32_t& Max) const = 0;
  std::function<void(const TPenPacket& Packet)> OnPacket;
};

// Packets from pressures in 0..1, as the desktop program's tablet events
// give them, on the axis 0..1023.
class TPressurePacketSource : public TPenPacketSource {
 public:
  bool Available() const override { return true; }
  void PressureAxis(int32_t& Min, int32_t& Max) const override { Min = 0, Max = 1023; }
  // NormalPressure := round(Pressure x 1023), Pressure kept in 0..1.
  void Send(double Pressure);
};

// Milliseconds of a monotonic clock.
using TMillisecondClock = std::function<int64_t()>;
int64_t SteadyMilliseconds();

class TdmWacom {
 public:
  // Reads the source's pressure axis and receives its packets; without a
  // usable source the defaults stay (axis 0..1023, HalfRange 512).
  explicit TdmWacom(TPenPacketSource* Source = nullptr,
                    TMillisecondClock Clock = SteadyMilliseconds);
  ~TdmWacom();
  TdmWacom(const TdmWacom&) = delete;
  TdmWacom& operator=(const TdmWacom&) = delete;

  // Records a packet, stamped with the clock's time.
  void Packet(const TPenPacket& Packet);
  // NormalPressure / HalfRange in single precision when the last packet came
  // less than 200 ms ago (0.01 instead of 0), else 1.0. An axis too short
  // for a half range (HalfRange 0) gives 1.0: no pressure can be told then.
  float PressureFactor() const;
  // Makes PressureFactor the pressure painting reads (until destroyed).
  void Install();

  int32_t HalfRange = 512;
  int32_t Cursor = 0, Buttons = 0, X = 0, Y = 0, NormalPressure = 512;
  int32_t Azimuth = 0, Altitude = 0, Twist = 0;
  int32_t MinPressure = 0, MaxPressure = 1023;
  int64_t LastPacketTime = 0;  // ms of the clock
  bool HasPacket = false;

  static constexpr int64_t RecentMilliseconds = 200;

 private:
  TPenPacketSource* FSource;
  TMillisecondClock FClock;
  bool FInstalled = false;
};

}  // namespace brellin
