#include "media/sdl_audio.h"

#include <SDL2/SDL.h>
#include <alsa/asoundlib.h>

#include <mutex>

namespace kinora {

namespace {

std::mutex g_lock;
int g_users = 0;

// The sound library reports a missing card on standard error; here a
// missing device is an answer (no sound), not a message for the user.
void QuietAlsa(const char*, int, const char*, int, const char*, ...) {}

}  // namespace

bool AcquireSdlAudio() {
  // SDL counts its subsystem users itself, but starting and stopping them
  // is not safe from several threads at once.
  std::lock_guard lock(g_lock);
  if (g_users == 0) {
    snd_lib_error_set_handler(QuietAlsa);
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return false;
  }
  ++g_users;
  return true;
}

void ReleaseSdlAudio() {
  std::lock_guard lock(g_lock);
  if (g_users == 0) return;
  if (--g_users == 0) SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

}  // namespace kinora
