#pragma once
// The product's Port: the serial link as it is.
// Thread: as the link.

#include "link/SerialLink.h"
#include "protocol/Port.h"

namespace q8 {

class LinkPort final : public Port {
  public:
    explicit LinkPort(SerialLink& link) : link_(link) {}

    void Write(const uint8_t* frame, uint32_t length) override;
    ReadResult Read(uint8_t* buffer, uint32_t count, uint32_t& received,
                    std::chrono::milliseconds deadline) override;
    void Purge() override;

  private:
    SerialLink& link_;
};

}  // namespace q8
