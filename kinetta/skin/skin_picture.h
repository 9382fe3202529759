#pragma once
// CResourceImage and COffScreenDC: the skin's pictures and their off-screen surface.
//
// Loading the skin's pictures. The artwork is vector (resources/skin/<id>.svg,
// embedded as ":/skin/<id>.svg"); it is rendered at the size the scaling rule
// gives for the current display scale, or stretched to a rectangle. Areas the
// artwork leaves empty are transparent.

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QRectF>
#include <QSize>
#include <QString>

#include <map>
#include <vector>

namespace kinetta {

QString SkinPicturePath(int id);
// Whether the artwork of id is embedded in the program.
bool HasSkinPicture(int id);

// Stored size of a picture (from the picture table); empty for unknown ids.
QSize StoredPictureSize(int id);
// Size the picture loads at for scale s (ScaledPictureSize of the stored size).
QSize LoadedPictureSize(int id, double s);

// The picture at scale s. A null pixmap for unknown ids. UI thread.
QPixmap LoadSkinPicture(int id, double s);
// The picture stretched to exactly size. UI thread.
QPixmap RenderSkinPicture(int id, const QSize& size);
// The same as an image; safe on any thread (the conversion worker uses it).
QImage RenderSkinImage(int id, const QSize& size);
// Draws the picture stretched over target. UI thread.
void DrawSkinPicture(QPainter& painter, int id, const QRectF& target);

// Frame index of a strip of frames side by side; the strip's width is divided
// evenly, the last frame taking any remainder.
QPixmap PictureFrame(const QPixmap& strip, int index, int frames);

// Holder of a window's background pictures, loaded at one scale and reloaded
// whenever the scale changes.
class CResourceImage {
public:
    CResourceImage() = default;
    explicit CResourceImage(std::vector<int> ids);

    void Add(int id);
    // Loads every picture at scale s (the scaling rule).
    void Reload(double s);
    // The loaded picture, or an empty pixmap for an id not held.
    const QPixmap& Picture(int id) const;
    double Scale() const { return scale_; }

private:
    std::vector<int> ids_;
    std::map<int, QPixmap> pictures_;
    double scale_ = 0.0;
};

// Off-screen drawing: a picture of the window's size that is drawn first and
// copied to the window in one transfer, so that repeated repaints do not flicker.
class COffScreenDC {
public:
    COffScreenDC(const QSize& size, const QColor& fill);
    ~COffScreenDC();
    COffScreenDC(const COffScreenDC&) = delete;
    COffScreenDC& operator=(const COffScreenDC&) = delete;

    QPainter& Painter() { return painter_; }
    // Ends drawing and copies the picture to target at (x, y).
    void CopyTo(QPainter& target, int x = 0, int y = 0);
    // Ends drawing and returns the picture.
    const QPixmap& Picture();

private:
    QPixmap pixmap_;
    QPainter painter_;
};

} // namespace kinetta
