#pragma once

#include <gst/gst.h>

#include <type_traits>
#include <utility>

namespace capture {

// A pad probe's callback with the data it was given, typed.
template <typename Data>
using ProbeCall = GstPadProbeReturn (*)(GstPad*, GstPadProbeInfo*, Data&);

namespace detail {

// The probe's data, owned or borrowed, and its callback.
template <typename Data, bool borrowed>
struct ProbeData {
    ProbeCall<Data> call;
    std::conditional_t<borrowed, Data*, Data> data;

    static GstPadProbeReturn run(GstPad* pad, GstPadProbeInfo* info, gpointer self)
    {
        auto* probe = static_cast<ProbeData*>(self);
        if constexpr (borrowed)
            return probe->call(pad, info, *probe->data);
        else
            return probe->call(pad, info, probe->data);
    }
    static void drop(gpointer self) { delete static_cast<ProbeData*>(self); }
};

}  // namespace detail

// Adds a probe that owns its data: the pad keeps it as long as the probe and frees it with the
// probe. Data that two probes share is a shared_ptr given to each.
template <typename Data>
gulong addProbe(GstPad* pad, GstPadProbeType type, ProbeCall<Data> call, std::type_identity_t<Data> data)
{
    using Probe = detail::ProbeData<Data, false>;
    return gst_pad_add_probe(pad, type, &Probe::run, new Probe{call, std::move(data)}, &Probe::drop);
}

// Adds a probe on data that outlives the pad (a run's state, which outlives its pipeline).
template <typename Data>
gulong addProbeOn(GstPad* pad, GstPadProbeType type, ProbeCall<Data> call, Data& data)
{
    using Probe = detail::ProbeData<Data, true>;
    return gst_pad_add_probe(pad, type, &Probe::run, new Probe{call, &data}, &Probe::drop);
}

// Adds a probe that needs no data.
inline gulong addProbe(GstPad* pad, GstPadProbeType type, GstPadProbeReturn (*call)(GstPad*, GstPadProbeInfo*))
{
    struct Plain {
        GstPadProbeReturn (*call)(GstPad*, GstPadProbeInfo*);
    };
    return gst_pad_add_probe(
        pad, type,
        [](GstPad* probed, GstPadProbeInfo* info, gpointer self) { return static_cast<Plain*>(self)->call(probed, info); },
        new Plain{call}, [](gpointer self) { delete static_cast<Plain*>(self); });
}

}  // namespace capture
