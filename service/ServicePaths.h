#pragma once

#include <QString>

#include <filesystem>

// Path spellings shared by the service-directory code: absolute and cleaned, never links resolved.
namespace ServicePaths {

QString standardized(const QString &path);
std::filesystem::path toFilesystemPath(const QString &path);

} // namespace ServicePaths
