// An audio library with every function the player uses except BASS_Init, standing in for a
// damaged or foreign libbass.so.
#define VOREL_EXPORT extern "C" __attribute__((visibility("default")))

VOREL_EXPORT int BASS_Free() { return 1; }
VOREL_EXPORT int BASS_ErrorGetCode() { return 0; }
VOREL_EXPORT unsigned BASS_StreamCreateFile(int, const void*, unsigned long long,
                                            unsigned long long, unsigned) {
  return 0;
}
