// Real-time scheduling for the mixer thread, so that a busy machine does not
// starve the sound.
#include "platform/bass/Output.h"

#include <dbus/dbus.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

namespace bass {
namespace {

constexpr int kPriority = 10;  // within rtkit's default ceiling

// rtkit grants real-time scheduling to unprivileged threads that promise to
// yield within RLIMIT_RTTIME.
bool AskRtkit(pid_t thread)
{
    rlimit limit{200000, 200000};  // microseconds of CPU without blocking
    if (setrlimit(RLIMIT_RTTIME, &limit) != 0) return false;
    DBusError error;
    dbus_error_init(&error);
    DBusConnection* bus = dbus_bus_get_private(DBUS_BUS_SYSTEM, &error);
    if (!bus) {
        dbus_error_free(&error);
        return false;
    }
    dbus_connection_set_exit_on_disconnect(bus, FALSE);
    bool granted = false;
    DBusMessage* call =
        dbus_message_new_method_call("org.freedesktop.RealtimeKit1", "/org/freedesktop/RealtimeKit1",
                                     "org.freedesktop.RealtimeKit1", "MakeThreadRealtime");
    if (call) {
        dbus_uint64_t id = static_cast<dbus_uint64_t>(thread);
        dbus_uint32_t priority = kPriority;
        if (dbus_message_append_args(call, DBUS_TYPE_UINT64, &id, DBUS_TYPE_UINT32, &priority,
                                     DBUS_TYPE_INVALID)) {
            DBusMessage* reply = dbus_connection_send_with_reply_and_block(bus, call, 1000, &error);
            if (reply) {
                granted = true;
                dbus_message_unref(reply);
            }
        }
        dbus_message_unref(call);
    }
    dbus_error_free(&error);
    dbus_connection_close(bus);
    dbus_connection_unref(bus);
    return granted;
}

}  // namespace

bool RaiseThreadPriority(pid_t thread)
{
    sched_param param{};
    param.sched_priority = kPriority;
    if (sched_setscheduler(thread, SCHED_RR, &param) == 0) return true;
    return AskRtkit(thread);
}

}  // namespace bass
