#pragma once

#include <QObject>
#include <functional>

class QVariantAnimation;
class QWidget;

// Shows and hides one panel of the window (the toolbar, the library) by
// growing or shrinking its height or width, so what stands beside it glides
// instead of jumping. While it slides the panel's extent is fixed; the panel
// gets its own limits back once it stands still. A change of direction on the
// way starts from where the panel stands.
class PanelSlide : public QObject {
    Q_OBJECT
public:
    enum class Extent { height, width };

    // fullExtent tells the panel's extent when shown. owner: the view the
    // panel belongs to, so the slide dies with it.
    PanelSlide(QWidget* panel, Extent extent, std::function<int()> fullExtent, QObject* owner);

    // Where the panel is heading (already there when nothing slides).
    bool isShown() const { return m_shown; }
    // Slides the panel in or out within durationMs, eased in and out; 0 does
    // it at once. Asking for where it is heading already changes nothing.
    void show(int durationMs);
    void hide(int durationMs);
    void setShown(bool shown, int durationMs) { shown ? show(durationMs) : hide(durationMs); }

    // Also while the animation is paused.
    bool isSliding() const;
    int fullExtent() const { return m_fullExtent(); }
    // The animation of the current or the last slide.
    QVariantAnimation* animation() const { return m_animation; }

Q_SIGNALS:
    // Each step of a slide.
    void extentChanged(int extent);
    // The panel stands still, shown or hidden.
    void settled(bool shown);

private:
    int currentExtent() const;
    void fix(int extent);
    void release();
    void finish();

    QWidget* m_panel;
    Extent m_extent;
    std::function<int()> m_fullExtent;
    QVariantAnimation* m_animation;
    bool m_shown;
    bool m_fixed = false;
    int m_ownMinimum = 0;
    int m_ownMaximum = 0;
};
