// SPDX-License-Identifier: MIT
#pragma once

#include <QWidget>

// The panel's backdrop: a tinted material over a blur of whatever lies
// behind the window, where the compositor can blur; an opaque material of
// the same tint where no compositor runs. It has only the active look, so
// the panel does not grey out when another window takes focus.
class VisualEffectView final : public QWidget {
    Q_OBJECT

public:
    enum class Material { Popover, Menu, Sidebar, HudWindow };
    enum class BlendingMode { BehindWindow, WithinWindow };

    explicit VisualEffectView(QWidget *parent = nullptr);
    VisualEffectView(Material material, BlendingMode blendingMode, QWidget *parent = nullptr);

    Material material() const { return m_material; }
    BlendingMode blendingMode() const { return m_blendingMode; }
    void setMaterial(Material material);
    void setBlendingMode(BlendingMode mode);

    // The tint shows what is behind it (blurred where the compositor can).
    bool isTranslucent() const;

protected:
    void paintEvent(QPaintEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void requestBlur();

    Material m_material;
    BlendingMode m_blendingMode;
    bool m_compositorRunning = false;
};
