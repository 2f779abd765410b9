#pragma once

#include <QList>
#include <QString>

// The four pages of the help window, in picker order.
enum class SezioneAiuto { guida, problemi, chiSiamo, avvertenze };

QList<SezioneAiuto> tutteLeSezioni();
QString etichetta(SezioneAiuto sezione);
