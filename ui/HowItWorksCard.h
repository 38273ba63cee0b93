#pragma once

class QFrame;
class QWidget;

// "How it works": what to click and why it is safe, in three steps. The welcome and Home show it.
namespace HowItWorksCard {
QFrame *create(QWidget *parent);
}
