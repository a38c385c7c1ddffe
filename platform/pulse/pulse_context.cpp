#include "platform/pulse/pulse_context.h"

namespace platform::pulse {

namespace {
struct Deadline {
    const PulseContext* ctx;
    bool expired = false;
};
}  // namespace

std::unique_ptr<PulseContext> PulseContext::Connect(const std::string& clientName,
                                                    std::chrono::milliseconds timeout,
                                                    std::string* error) {
    auto fail = [error](const std::string& why) {
        if (error) *error = why;
        return nullptr;
    };
    std::unique_ptr<PulseContext> self(new PulseContext);
    self->mainloop_ = pa_threaded_mainloop_new();
    if (!self->mainloop_) return fail("cannot create the sound server mainloop");
    pa_mainloop_api* api = pa_threaded_mainloop_get_api(self->mainloop_);
    self->context_ = pa_context_new(api, clientName.c_str());
    if (!self->context_) return fail("cannot create a sound server context");
    pa_context_set_state_callback(self->context_, &PulseContext::OnState, self.get());
    if (pa_threaded_mainloop_start(self->mainloop_) < 0)
        return fail("cannot start the sound server mainloop");

    Lock lock(*self);
    if (pa_context_connect(self->context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
        return fail(std::string("no sound server: ") +
                    pa_strerror(pa_context_errno(self->context_)));

    PulseContext* me = self.get();
    bool expired = false;
    const bool ready = me->waitFor(
        timeout,
        [me] {
            const pa_context_state_t st = pa_context_get_state(me->context_);
            return st == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(st);
        },
        &expired);
    if (!ready || pa_context_get_state(me->context_) != PA_CONTEXT_READY)
        return fail(expired ? "the sound server did not answer in time"
                            : std::string("no sound server: ") +
                                  pa_strerror(pa_context_errno(me->context_)));
    return self;
}

PulseContext::~PulseContext() {
    if (mainloop_) {
        pa_threaded_mainloop_lock(mainloop_);
        if (context_) {
            pa_context_set_state_callback(context_, nullptr, nullptr);
            pa_context_disconnect(context_);
            pa_context_unref(context_);
        }
        pa_threaded_mainloop_unlock(mainloop_);
        pa_threaded_mainloop_stop(mainloop_);
        pa_threaded_mainloop_free(mainloop_);
    } else if (context_) {
        pa_context_unref(context_);
    }
}

bool PulseContext::alive() const {
    return context_ && pa_context_get_state(context_) == PA_CONTEXT_READY;
}

void PulseContext::OnState(pa_context*, void* userdata) {
    static_cast<PulseContext*>(userdata)->signal();
}

bool PulseContext::wait(const std::function<bool()>& done) const {
    while (!done()) {
        if (!alive()) return done();
        pa_threaded_mainloop_wait(mainloop_);
    }
    return true;
}

bool PulseContext::waitFor(std::chrono::milliseconds timeout, const std::function<bool()>& done,
                           bool* expired) const {
    Deadline deadline{this};
    pa_mainloop_api* api = pa_threaded_mainloop_get_api(mainloop_);
    timeval when;
    pa_timeval_add(pa_gettimeofday(&when), pa_usec_t(timeout.count()) * PA_USEC_PER_MSEC);
    pa_time_event* timer = api->time_new(
        api, &when,
        [](pa_mainloop_api*, pa_time_event*, const timeval*, void* ud) {
            auto* d = static_cast<Deadline*>(ud);
            d->expired = true;
            d->ctx->signal();
        },
        &deadline);
    // Not alive(): while connecting the context is not ready yet, but still good.
    while (!done() && !deadline.expired && PA_CONTEXT_IS_GOOD(pa_context_get_state(context_)))
        pa_threaded_mainloop_wait(mainloop_);
    if (timer) api->time_free(timer);
    if (expired) *expired = deadline.expired && !done();
    return done();
}

bool PulseContext::run(pa_operation* op, std::chrono::milliseconds timeout, bool* timedOut) const {
    if (!op) return false;
    waitFor(
        timeout, [op] { return pa_operation_get_state(op) != PA_OPERATION_RUNNING; }, timedOut);
    if (pa_operation_get_state(op) == PA_OPERATION_RUNNING) pa_operation_cancel(op);
    const bool ok = pa_operation_get_state(op) == PA_OPERATION_DONE;
    pa_operation_unref(op);
    return ok;
}

bool PulseContext::run(pa_operation* op) const {
    if (!op) return false;
    bool finished = wait([op] { return pa_operation_get_state(op) != PA_OPERATION_RUNNING; });
    if (!finished) pa_operation_cancel(op);
    const bool ok = finished && pa_operation_get_state(op) == PA_OPERATION_DONE;
    pa_operation_unref(op);
    return ok;
}

void PulseContext::OnSuccess(pa_context*, int success, void* userdata) {
    auto* w = static_cast<SuccessWait*>(userdata);
    w->success = success;
    w->ctx->signal();
}

pa_stream* PulseContext::newStream(const char* name, const pa_sample_spec* spec,
                                   const pa_channel_map* map) const {
    pa_proplist* props = pa_proplist_new();
    pa_proplist_sets(props, kResampleQuality, kBestResampleQuality);
    pa_stream* s = pa_stream_new_with_proplist(context_, name, spec, map, props);
    pa_proplist_free(props);
    return s;
}

}  // namespace platform::pulse
