#pragma once

#include <memory>

class AlertPresenter;
class Notifier;

// The desktop's notification service for this operating system; `fallback`
// shows the modal alert when the desktop cannot show notifications.
std::unique_ptr<Notifier> createSystemNotifier(AlertPresenter &fallback);
