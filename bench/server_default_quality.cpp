// Preloaded into the program by resample_residual.sh (LD_PRELOAD): its streams are made without
// the resampler quality they ask for, so the server's default applies, as it did before the
// program asked for the best. The libpulse calls are reached by name, so no libpulse header is
// needed here.
#include <dlfcn.h>

extern "C" {

struct pa_context;
struct pa_sample_spec;
struct pa_channel_map;
struct pa_proplist;
struct pa_stream;

pa_stream* pa_stream_new_with_proplist(pa_context* c, const char* name, const pa_sample_spec* ss,
                                       const pa_channel_map* map, pa_proplist* p) {
    using New = pa_stream* (*)(pa_context*, const char*, const pa_sample_spec*,
                               const pa_channel_map*, pa_proplist*);
    using Unset = int (*)(pa_proplist*, const char*);
    static const auto real = reinterpret_cast<New>(dlsym(RTLD_NEXT, "pa_stream_new_with_proplist"));
    static const auto unset = reinterpret_cast<Unset>(dlsym(RTLD_DEFAULT, "pa_proplist_unset"));
    if (p && unset) unset(p, "resample.quality");
    return real(c, name, ss, map, p);
}

}  // extern "C"
