#pragma once

// Every write of a stored property notifies; only a write that changes the
// value is saved. Used inside record setters, which define changed().
#define QS_SETTER(value, member, property)          \
    do {                                            \
        const bool differs = !((member) == (value)); \
        if (differs)                                \
            (member) = (value);                     \
        changed(property, differs);                 \
    } while (false)
