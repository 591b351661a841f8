// What the command line of tavrin-lumiq asks for: help, the version, or files to list.
#pragma once

#include <QString>
#include <QStringList>

namespace tavrin::app {

struct LaunchArguments {
    bool help = false;
    bool version = false;
    // Made absolute, in the order given.
    QStringList files;
    // An option the program does not know; empty when the line is fine.
    QString error;
};

// `arguments` includes the program name first. "--" makes every later argument a file.
LaunchArguments ParseLaunchArguments(const QStringList& arguments);

QString LaunchHelpText();
QString LaunchVersionText();

} // namespace tavrin::app
