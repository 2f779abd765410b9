#pragma once

#include "platform/Appunti.h"

#include <QStringList>

// The desktop clipboard through QClipboard; needs a QGuiApplication.
class QtAppunti : public Appunti {
public:
    // Rich text comes under different names depending on the program that copied it.
    static const QStringList &tipiRtf();

    std::optional<QString> testo() const override;
    std::optional<QByteArray> rtf() const override;
};
