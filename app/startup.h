#pragma once

class QWidget;

namespace startup {

// The application-wide font; set it before the first widget exists.
void setApplicationFont();

// Gives the main window the place and caption it opens with.
void placeMainWindow(QWidget& window);

} // namespace startup
