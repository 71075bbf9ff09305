#pragma once
// Restarting the machine, for products whose new firmware takes effect only
// after the host restarts. The operator has confirmed before Request is called.
#include <string>

namespace platform {

class SystemRestart {
 public:
  virtual ~SystemRestart() = default;
  // Asks the system to restart; false with `error` set when it refused.
  virtual bool Request(std::string& error) = 0;
};

// The system's reboot service ("systemctl reboot").
class ServiceRestart final : public SystemRestart {
 public:
  bool Request(std::string& error) override;
};

}  // namespace platform
