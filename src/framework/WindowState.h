// The main window's state, kept in one place: open or hidden, live preview or
// picture review, and a count of the changes. Some handlers dispatch the
// queued messages in the middle of their work (a repaint before a graph
// change, a relayout); a message dispatched there may hide the window or
// switch to review. Such a handler takes a mark before the pump and asks the
// state afterwards what is left for it to do.
#pragma once

#include <cstdint>

namespace tamsel {

class WindowState {
public:
    enum : int { kLive = 1, kReview = 2 };
    using Mark = uint32_t;

    bool IsOpen() const noexcept { return m_open; }
    // 1 live preview, 2 picture review.
    int Mode() const noexcept { return m_mode; }
    bool InReview() const noexcept { return m_mode == kReview; }

    // The moment before a pump, and whether anything changed since.
    Mark Now() const noexcept { return m_changes; }
    bool ChangedSince(Mark mark) const noexcept { return m_changes != mark; }

    // The end of a visible start or of a reopening.
    void Open() noexcept
    {
        m_open = true;
        ++m_changes;
    }
    // The hide sequence. It counts even over a window that was not open yet:
    // a reopening that pumps before it is finished must learn that a close
    // ran meanwhile.
    void Hide() noexcept
    {
        m_open = false;
        ++m_changes;
    }
    void SetMode(int mode) noexcept
    {
        if (mode == m_mode)
            return;
        m_mode = mode;
        ++m_changes;
    }

    // What a change of the live picture (camera, resolution, rotation,
    // preview size) does in the state of this moment: go on with the graph;
    // stop, because the window hid and the hide took the graph and the setup
    // dialog with it; or defer, because review shows a picture: the setting
    // is kept for the way back to live and no graph runs over the picture.
    enum class LiveChange { kGoOn, kStop, kDefer };
    LiveChange RouteLiveChange() const noexcept
    {
        if (!m_open)
            return LiveChange::kStop;
        return m_mode == kReview ? LiveChange::kDefer : LiveChange::kGoOn;
    }

private:
    bool m_open = false;
    int m_mode = kLive;
    Mark m_changes = 0;
};

} // namespace tamsel
