#pragma once
// Class-of-device decoding: turns the 24-bit class every radio and device
// reports into the "Type" and "Services" texts and the image index of the
// device list.

#include <string>

namespace wren {

class AssignedNumbers {
public:
  // Appends the major/minor class text to `type` and the service-class
  // names (comma separated) to `services`; returns the image index into the
  // 16-pixel image strip (6 when no minor row names the device). Bits above
  // bit 23 are ignored.
  int DecodeClassOfDevice(unsigned classOfDevice, std::string& type, std::string& services) const;
};

}  // namespace wren
