// Windows arbitrates exclusive use of a sound card itself: an exclusive WASAPI stream takes
// the card from the shared engine and gives it back when it closes. Nobody is asked.
#include "platform/device_reservation.h"

namespace Platform
{
    struct Device_Reservation::State
    {
    };

    Device_Reservation::Device_Reservation() : state(std::make_unique<State>()) {}

    Device_Reservation::~Device_Reservation() = default;

    Reservation Device_Reservation::acquire(int, const std::string&)
    {
        return Reservation::unmanaged;
    }

    void Device_Reservation::release() {}

    void Device_Reservation::keep(double) {}

    bool Device_Reservation::release_requested() const
    {
        return false;
    }
}
