#pragma once
// Writing a captured picture to a file.

#include <QImage>
#include <QString>

namespace playcore {

// Encodes `picture` with Qt's image writer of `format` ("jpeg", "png") at
// `quality` (0..100, -1 for the writer's default) into a temporary file in the
// target folder and renames it to `path` when complete, replacing a file of
// that name. True only when the final file then exists and is not empty. A
// folder that does not exist, an unwritable folder, a null picture or a failed
// encoding return false and leave no file behind.
bool WriteStillImage(const QImage& picture, const QString& path, const char* format, int quality);

} // namespace playcore
