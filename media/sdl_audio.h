#pragma once
// SDL's audio part is shared by microphone capture and the players: the
// first user starts it, the last one stops it, and each user opens and
// closes only its own device.

namespace kinora {

// Starts SDL's audio part for one more user; false when it cannot start
// (then nothing is to be released).
bool AcquireSdlAudio();
// Ends one user's share; the last one stops SDL's audio part.
void ReleaseSdlAudio();

}  // namespace kinora
