#pragma once

#include "platform/linux/TabellaMontaggi.h"

#include <functional>
#include <optional>
#include <QString>
#include <QStringList>

// verifyVolume / repairVolume of the disk-utility stand-in: the file system of
// a stick is checked or repaired by its own checker (fsck.fat, fsck.exfat,
// e2fsck). Output goes out line by line as the checker prints it; progress,
// where the checker gives it, as "{n}%" lines. The exit status carries the
// result: 0 for a clean check or a successful repair.
namespace VerificaVolume {

enum class Checker { fat, exfat, ext };

struct Target {
    QString device;           // block device, or an image file
    QString fsType;           // as the kernel or blkid names it
    QString mountPoint;       // empty when not mounted
    QStringList mountOptions; // to mount it again as it was
};

struct Command {
    QString program;
    QStringList args;
    friend bool operator==(const Command &, const Command &) = default;
};

std::optional<Checker> checkerFor(const QString &fsType);
// Read-only check, never writes to the medium.
Command checkCommand(Checker checker, const QString &device);
Command repairCommand(Checker checker, const QString &device);
// Exit statuses of the repair run that mean "nothing left to fix" (fsck.fat
// says 1 when it changed something; e2fsck and fsck.exfat 1 or 2 when they
// corrected errors). A clean read-only check afterwards confirms it.
bool repairExitAccepted(Checker checker, int status);

// e2fsck -C 1 writes "pass current max device"; the overall percentage weighs
// the passes as e2fsck's own progress bar does.
std::optional<double> e2fsckProgress(const QString &line);
// A checker's own "%" (e2fsck's "0.0% non-contiguous") would be taken for
// progress by whoever reads ours.
QString neutralisePercent(const QString &line);

// What `path` (a mount point, a block device or an image file) is. `probeType`
// asks blkid for a device's file-system type.
std::optional<Target> findTarget(const QString &path, const QList<VoceMontaggio> &mounts,
                                 const std::function<QString(const QString &)> &probeType, QString *error);
// Options for mounting the device again as the kernel had it.
QStringList remountOptions(const VoceMontaggio &entry);

using Output = std::function<void(const QString &line)>;

struct Environment {
    QByteArray mountInfo;
    bool root = false;
    static Environment system();
};

int verifyVolume(const QString &path, const Output &out, const Environment &env = Environment::system());
int repairVolume(const QString &path, const Output &out, const Environment &env = Environment::system());

} // namespace VerificaVolume
