// A module's function in front of a device slot: the slot calls it, and it calls the function
// that was registered before (kept in *behind) for the operation to go through. Installed
// once; a reset registers the slot anew and the module puts its function in front again.
#pragma once

template <typename Fn>
void device_putInFront(Fn &slot, bool registered, Fn front, Fn *behind) {
    if (!registered || slot == front) return;
    *behind = slot;
    slot = front;
}
