#include "platform/pulse_context.h"

#include <sys/time.h>

#include <algorithm>

#include "platform/wave_route.h"

namespace platform::pulse {

namespace {

struct Timer {
  Loop* loop;
  bool fired = false;
};

void OnTimer(pa_mainloop_api*, pa_time_event*, const struct timeval*, void* data) {
  auto* timer = static_cast<Timer*>(data);
  timer->fired = true;
  timer->loop->Signal();
}

}  // namespace

std::unique_ptr<Context> Context::Connect(uint32_t timeoutMs) {
  std::unique_ptr<Context> self(new Context);
  self->loop_ = std::make_unique<pulse::Loop>();
  const WaveApplication app = CurrentWaveApplication();
  pa_proplist* props = pa_proplist_new();
  pa_proplist_sets(props, PA_PROP_APPLICATION_NAME, app.name.c_str());
  pa_proplist_sets(props, PA_PROP_APPLICATION_ID, app.id.c_str());
  pa_proplist_sets(props, PA_PROP_APPLICATION_ICON_NAME, app.iconName.c_str());
  self->context_ =
      pa_context_new_with_proplist(self->loop_->Api(), app.name.c_str(), props);
  pa_proplist_free(props);
  if (self->context_ == nullptr) return nullptr;
  pa_context_set_state_callback(self->context_, &Context::OnState, self.get());
  if (!self->loop_->Start("quillon-pulse")) return nullptr;

  LoopLock lock(*self->loop_);
  // No server of our own: a desktop without one is PortAudio's.
  if (pa_context_connect(self->context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) return nullptr;
  const bool ready = self->WaitLocked(
      [c = self->context_] {
        const pa_context_state_t s = pa_context_get_state(c);
        return s == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(s);
      },
      timeoutMs);
  if (!ready || !self->AliveLocked()) return nullptr;
  pa_context_set_subscribe_callback(self->context_, &Context::OnEvent, self.get());
  const auto mask = static_cast<pa_subscription_mask_t>(PA_SUBSCRIPTION_MASK_SINK | PA_SUBSCRIPTION_MASK_SOURCE |
                                                        PA_SUBSCRIPTION_MASK_SERVER);
  if (pa_operation* op = pa_context_subscribe(self->context_, mask, nullptr, nullptr)) pa_operation_unref(op);
  self->RefreshLocked();
  Context* raw = self.get();
  self->WaitLocked(
      [raw] {
        std::lock_guard<std::mutex> list(raw->listMutex_);
        return raw->listed_;
      },
      timeoutMs);
  return self;
}

Context::~Context() {
  if (loop_ == nullptr) return;
  if (context_ != nullptr) {
    LoopLock lock(*loop_);
    pa_context_set_state_callback(context_, nullptr, nullptr);
    pa_context_set_subscribe_callback(context_, nullptr, nullptr);
    pa_context_disconnect(context_);
    pa_context_unref(context_);
  }
  loop_.reset();  // the loop's thread ends before the loop goes
}

bool Context::WaitLocked(const std::function<bool()>& done, uint32_t timeoutMs) {
  if (done()) return true;
  pa_mainloop_api* api = loop_->Api();
  Timer timer{loop_.get()};
  struct timeval when {};
  gettimeofday(&when, nullptr);
  pa_timeval_add(&when, static_cast<pa_usec_t>(timeoutMs) * PA_USEC_PER_MSEC);
  pa_time_event* event = api->time_new(api, &when, &OnTimer, &timer);
  bool result = false;
  for (;;) {
    if (done()) {
      result = true;
      break;
    }
    if (timer.fired || !PA_CONTEXT_IS_GOOD(pa_context_get_state(context_))) break;
    loop_->Wait();
  }
  if (event != nullptr) api->time_free(event);
  return result;
}

bool Context::FinishLocked(pa_operation* operation, uint32_t timeoutMs) {
  if (operation == nullptr) return false;
  pa_operation_set_state_callback(
      operation, [](pa_operation*, void* loop) { static_cast<pulse::Loop*>(loop)->Signal(); }, loop_.get());
  const bool done =
      WaitLocked([operation] { return pa_operation_get_state(operation) != PA_OPERATION_RUNNING; }, timeoutMs);
  if (!done) pa_operation_cancel(operation);
  pa_operation_unref(operation);
  return done;
}

void Context::OnState(pa_context*, void* self) {
  auto* context = static_cast<Context*>(self);
  context->loop_->Signal();
  // A server that went away takes its devices along.
  if (!PA_CONTEXT_IS_GOOD(pa_context_get_state(context->context_))) {
    {
      std::lock_guard<std::mutex> list(context->listMutex_);
      context->sinks_.clear();
      context->sources_.clear();
    }
    context->Published();
  }
}

void Context::OnEvent(pa_context*, pa_subscription_event_type_t type, uint32_t, void* self) {
  auto* context = static_cast<Context*>(self);
  const auto facility = type & PA_SUBSCRIPTION_EVENT_FACILITY_MASK;
  const auto kind = type & PA_SUBSCRIPTION_EVENT_TYPE_MASK;
  // New and removed devices, and the server's defaults; a device's volume
  // changing is no news for the lists.
  if (facility == PA_SUBSCRIPTION_EVENT_SERVER || kind != PA_SUBSCRIPTION_EVENT_CHANGE) context->RefreshLocked();
}

void Context::RefreshLocked() {
  if (pending_ > 0) {
    again_ = true;  // the lists being read may already be out of date
    return;
  }
  newSinks_.clear();
  newSources_.clear();
  pending_ = 3;
  if (pa_operation* op = pa_context_get_server_info(context_, &Context::OnServer, this)) {
    pa_operation_unref(op);
  } else {
    --pending_;
  }
  if (pa_operation* op = pa_context_get_sink_info_list(context_, &Context::OnSink, this)) {
    pa_operation_unref(op);
  } else {
    --pending_;
  }
  if (pa_operation* op = pa_context_get_source_info_list(context_, &Context::OnSource, this)) {
    pa_operation_unref(op);
  } else {
    --pending_;
  }
  if (pending_ == 0) pending_ = 1, Published();
}

void Context::OnServer(pa_context*, const pa_server_info* info, void* self) {
  auto* context = static_cast<Context*>(self);
  if (info != nullptr) {
    context->newDefaultSink_ = info->default_sink_name != nullptr ? info->default_sink_name : "";
    context->newDefaultSource_ = info->default_source_name != nullptr ? info->default_source_name : "";
  }
  context->Published();
}

void Context::OnSink(pa_context*, const pa_sink_info* info, int eol, void* self) {
  auto* context = static_cast<Context*>(self);
  if (eol != 0) {
    context->Published();
    return;
  }
  if (info != nullptr) {
    context->newSinks_.push_back({info->name, info->description != nullptr ? info->description : info->name, false});
  }
}

void Context::OnSource(pa_context*, const pa_source_info* info, int eol, void* self) {
  auto* context = static_cast<Context*>(self);
  if (eol != 0) {
    context->Published();
    return;
  }
  if (info != nullptr) {
    context->newSources_.push_back({info->name, info->description != nullptr ? info->description : info->name,
                                    info->monitor_of_sink != PA_INVALID_INDEX});
  }
}

void Context::Published() {
  // Called on the loop's thread with its lock held, once per finished
  // request; the lists change when the last of a refresh is in.
  if (pending_ > 0 && --pending_ > 0) return;
  if (pending_ == 0 && PA_CONTEXT_IS_GOOD(pa_context_get_state(context_))) {
    std::lock_guard<std::mutex> list(listMutex_);
    sinks_ = newSinks_;
    sources_ = newSources_;
    defaultSink_ = newDefaultSink_;
    defaultSource_ = newDefaultSource_;
    listed_ = true;
  }
  loop_->Signal();
  {
    std::lock_guard<std::mutex> listener(listenerMutex_);
    if (listener_) listener_();
  }
  if (again_ && AliveLocked()) {
    again_ = false;
    RefreshLocked();
  }
}

bool Context::HasDevice(bool input, const std::string& name) const {
  std::lock_guard<std::mutex> list(listMutex_);
  const auto& devices = input ? sources_ : sinks_;
  return std::any_of(devices.begin(), devices.end(), [&](const Device& d) { return d.name == name; });
}

std::vector<WaveEndpoint> Context::Endpoints(bool input) const {
  std::lock_guard<std::mutex> list(listMutex_);
  std::vector<WaveEndpoint> out;
  const std::string& fallback = input ? defaultSource_ : defaultSink_;
  for (const Device& d : input ? sources_ : sinks_) {
    if (!d.monitor) out.push_back({d.name, d.description, d.name == fallback});
  }
  return out;
}

void Context::SetListener(std::function<void()> changed) {
  std::lock_guard<std::mutex> listener(listenerMutex_);
  listener_ = std::move(changed);
}

}  // namespace platform::pulse
