#pragma once
// The sound devices' news for the user, kept beside the transport: a device
// that went away while in use, and input a recording lost.

namespace app {

class CTransport;

// The device of a running recording or playback went away (unplugged, its
// server gone): ends it as Stop does, and names the device. False when no
// device went away.
bool EndOnLostDevice(CTransport& transport);
// After a recording's device was closed: tells how much input it lost, if
// any ("N ms of input were lost.").
void ReportLostInput(CTransport& transport);

}  // namespace app
