#pragma once

#include <QString>

// What the window's check keeps between runs of the program, as last started: the judge, the
// jobs and the time-out, as typed. They live in the user's configuration folder, in
// varnholt.conf ($XDG_CONFIG_HOME, or ~/.config).
struct RememberedCheck
{
    QString judge; // empty: no judge
    QString jobs;
    QString timeoutSeconds;

    // The defaults where nothing was kept, or the file cannot be read.
    static RememberedCheck load();
    void save() const;

    friend bool operator==(const RememberedCheck&, const RememberedCheck&) = default;
};
