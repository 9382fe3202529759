#include "kinetta/skin/skin_picture.h"

#include <QCoreApplication>
#include <QFile>
#include <QSvgRenderer>

#include <map>
#include <memory>
#include <tuple>
#include <unordered_map>

#include "kinetta/skin/skin_geometry.h"
#include "kinetta/skin/skin_pictures.h"

namespace kinetta {

namespace {

// One parsed renderer per picture, UI thread only.
QSvgRenderer* CachedRenderer(int id) {
    static std::unordered_map<int, std::unique_ptr<QSvgRenderer>> cache;
    auto it = cache.find(id);
    if (it != cache.end()) return it->second.get();
    auto renderer = std::make_unique<QSvgRenderer>(SkinPicturePath(id));
    QSvgRenderer* raw = renderer->isValid() ? renderer.get() : nullptr;
    cache.emplace(id, raw ? std::move(renderer) : nullptr);
    return raw;
}

QImage Render(QSvgRenderer& renderer, const QSize& size) {
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    renderer.render(&p, QRectF(0, 0, size.width(), size.height()));
    return image;
}

} // namespace

QString SkinPicturePath(int id) {
    return QStringLiteral(":/skin/%1.svg").arg(id);
}

bool HasSkinPicture(int id) {
    return QFile::exists(SkinPicturePath(id));
}

QSize StoredPictureSize(int id) {
    const SkinPictureInfo* info = FindSkinPicture(id);
    return info ? QSize(info->width, info->height) : QSize();
}

QSize LoadedPictureSize(int id, double s) {
    const SkinPictureInfo* info = FindSkinPicture(id);
    if (!info) return {};
    PixelSize size = ScaledPictureSize(info->width, info->height, s);
    return {size.width, size.height};
}

QPixmap LoadSkinPicture(int id, double s) {
    return RenderSkinPicture(id, LoadedPictureSize(id, s));
}

QPixmap RenderSkinPicture(int id, const QSize& size) {
    if (size.isEmpty()) return {};
    // Every layout pass hands each button its picture again, mostly at the
    // size it has already, and many buttons share one picture and size: a
    // picture is drawn once per size. The pixmaps are shared, not copied.
    // Bounded: a run of rescales starts the cache afresh. UI thread only.
    static std::map<std::tuple<int, int, int>, QPixmap> drawn;
    const auto key = std::make_tuple(id, size.width(), size.height());
    if (auto it = drawn.find(key); it != drawn.end()) return it->second;
    QSvgRenderer* renderer = CachedRenderer(id);
    if (!renderer) return {};
    QPixmap picture = QPixmap::fromImage(Render(*renderer, size));
    // Pixmaps belong to the application: none outlives it.
    static QMetaObject::Connection watch;
    if (!watch && QCoreApplication::instance())
        watch = QObject::connect(QCoreApplication::instance(), &QObject::destroyed,
                                 [] { drawn.clear(); });
    if (drawn.size() >= 512) drawn.clear();
    drawn.emplace(key, picture);
    return picture;
}

QImage RenderSkinImage(int id, const QSize& size) {
    if (size.isEmpty()) return {};
    QSvgRenderer renderer(SkinPicturePath(id));
    if (!renderer.isValid()) return {};
    return Render(renderer, size);
}

void DrawSkinPicture(QPainter& painter, int id, const QRectF& target) {
    if (target.isEmpty()) return;
    if (QSvgRenderer* renderer = CachedRenderer(id)) renderer->render(&painter, target);
}

QPixmap PictureFrame(const QPixmap& strip, int index, int frames) {
    if (strip.isNull() || frames <= 0 || index < 0 || index >= frames) return {};
    const int w = strip.width() / frames;
    const int x = index * w;
    const int width = index == frames - 1 ? strip.width() - x : w;
    return strip.copy(x, 0, width, strip.height());
}

CResourceImage::CResourceImage(std::vector<int> ids) : ids_(std::move(ids)) {}

void CResourceImage::Add(int id) {
    ids_.push_back(id);
    if (scale_ > 0.0) pictures_[id] = LoadSkinPicture(id, scale_);
}

void CResourceImage::Reload(double s) {
    scale_ = s;
    pictures_.clear();
    for (int id : ids_)
        pictures_[id] = LoadSkinPicture(id, s);
}

const QPixmap& CResourceImage::Picture(int id) const {
    static const QPixmap kNone;
    auto it = pictures_.find(id);
    return it == pictures_.end() ? kNone : it->second;
}

COffScreenDC::COffScreenDC(const QSize& size, const QColor& fill)
    : pixmap_(size.isEmpty() ? QSize(1, 1) : size) {
    pixmap_.fill(fill);
    painter_.begin(&pixmap_);
}

COffScreenDC::~COffScreenDC() {
    if (painter_.isActive()) painter_.end();
}

void COffScreenDC::CopyTo(QPainter& target, int x, int y) {
    if (painter_.isActive()) painter_.end();
    target.drawPixmap(x, y, pixmap_);
}

const QPixmap& COffScreenDC::Picture() {
    if (painter_.isActive()) painter_.end();
    return pixmap_;
}

} // namespace kinetta
