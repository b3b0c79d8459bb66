// The phone's audio system, as far as the sound settings go.
#pragma once

// Makes the audio system reload its sound settings from the registry (the
// ring tone, its script and the ring volume). On the device it reports what
// it reloaded on the log's "audio" channel, so that a ring decision can be
// followed from the log.
void AudioUpdateFromRegistry();
