#pragma once

#include <gst/gst.h>

#include <memory>
#include <utility>

namespace capture {

// Owns one reference to a GStreamer object and drops it when it goes. Taking a floating
// reference sinks it, so a handle always owns a full reference.
template <typename T>
class GstHandle {
public:
    GstHandle() = default;
    explicit GstHandle(T* object) : m_object(object)
    {
        if (m_object && g_object_is_floating(m_object))
            gst_object_ref_sink(m_object);
    }
    GstHandle(const GstHandle& other) : m_object(other.m_object)
    {
        if (m_object)
            gst_object_ref(m_object);
    }
    GstHandle(GstHandle&& other) noexcept : m_object(std::exchange(other.m_object, nullptr)) {}
    GstHandle& operator=(GstHandle other) noexcept
    {
        std::swap(m_object, other.m_object);
        return *this;
    }
    ~GstHandle()
    {
        if (m_object)
            gst_object_unref(m_object);
    }

    // Adds a reference to an object someone else owns.
    static GstHandle share(T* object)
    {
        if (object)
            gst_object_ref(object);
        return GstHandle(object);
    }

    T* get() const { return m_object; }
    T* operator->() const { return m_object; }
    explicit operator bool() const { return m_object != nullptr; }
    // Hands the reference over to a call that takes a full reference (transfer full). Calls
    // that take a floating one, gst_bin_add among them, add their own reference to a handle's
    // object: pass get() to them and let the handle drop its own.
    T* release() { return std::exchange(m_object, nullptr); }

private:
    T* m_object = nullptr;
};

using ElementPtr = GstHandle<GstElement>;
using PadPtr = GstHandle<GstPad>;
using BusPtr = GstHandle<GstBus>;

// Owns a mini object (buffer, caps, sample, message, event).
template <typename T>
class GstMiniHandle {
public:
    GstMiniHandle() = default;
    explicit GstMiniHandle(T* object) : m_object(object) {}
    GstMiniHandle(const GstMiniHandle&) = delete;
    GstMiniHandle& operator=(const GstMiniHandle&) = delete;
    GstMiniHandle(GstMiniHandle&& other) noexcept : m_object(std::exchange(other.m_object, nullptr)) {}
    GstMiniHandle& operator=(GstMiniHandle&& other) noexcept
    {
        std::swap(m_object, other.m_object);
        return *this;
    }
    ~GstMiniHandle()
    {
        if (m_object)
            gst_mini_object_unref(GST_MINI_OBJECT_CAST(m_object));
    }

    T* get() const { return m_object; }
    explicit operator bool() const { return m_object != nullptr; }
    T* release() { return std::exchange(m_object, nullptr); }

private:
    T* m_object = nullptr;
};

using CapsPtr = GstMiniHandle<GstCaps>;
using BufferPtr = GstMiniHandle<GstBuffer>;
using SamplePtr = GstMiniHandle<GstSample>;
using MessagePtr = GstMiniHandle<GstMessage>;
using EventPtr = GstMiniHandle<GstEvent>;

// GLib's plain allocations: an error, a string, a structure.
struct GErrorFree {
    void operator()(GError* error) const { g_error_free(error); }
};
struct GCharFree {
    void operator()(gchar* text) const { g_free(text); }
};
struct GstStructureFree {
    void operator()(GstStructure* structure) const { gst_structure_free(structure); }
};
using ErrorPtr = std::unique_ptr<GError, GErrorFree>;
using GCharPtr = std::unique_ptr<gchar, GCharFree>;
using StructurePtr = std::unique_ptr<GstStructure, GstStructureFree>;

}  // namespace capture
