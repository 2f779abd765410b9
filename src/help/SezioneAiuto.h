#pragma once

#include <optional>
#include <QList>
#include <QString>

// The four pages of the help window, in picker order. The label is also the
// section's text value.
enum class SezioneAiuto { guida, problemi, chiSiamo, avvertenze };

QList<SezioneAiuto> tutteLeSezioni();
QString etichetta(SezioneAiuto sezione);
// The section with this label; none for an unknown text.
std::optional<SezioneAiuto> sezioneDaEtichetta(const QString &etichetta);
