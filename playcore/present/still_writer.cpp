#include "playcore/present/still_writer.h"

#include <QFileInfo>
#include <QImageWriter>
#include <QSaveFile>

namespace playcore {

bool WriteStillImage(const QImage& picture, const QString& path, const char* format, int quality) {
    if (picture.isNull() || path.isEmpty()) return false;
    // QSaveFile writes "<path>.XXXXXX" beside the target and renames it on commit;
    // it never falls back to writing the target directly.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return false;
    QImageWriter writer(&file, format);
    writer.setQuality(quality);
    // The surface's alpha carries nothing; JPEG has none anyway.
    if (!writer.write(picture.convertToFormat(QImage::Format_RGB888))) {
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) return false;
    const QFileInfo written(path);
    return written.exists() && written.size() > 0;
}

} // namespace playcore
