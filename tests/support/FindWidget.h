#pragma once

#include <stdexcept>
#include <string>
#include <type_traits>

#include <QObject>
#include <QString>

namespace findwidget_detail {

template <class T>
T* namedIn(const QObject* root, const char* name)
{
    for (QObject* found : root->findChildren<QObject*>(QString::fromLatin1(name))) {
        if (auto* typed = dynamic_cast<T*>(found)) {
            return typed;
        }
    }
    return nullptr;
}

} // namespace findwidget_detail

/// The descendant of `owner` with this object name and type. `owner` is a widget or object, a
/// view or window controller (its view or window is searched as well), or a pointer to either. Throws, which
/// GoogleTest reports as the test's failure, when there is none: a renamed widget fails loudly, never
/// crashes.
template <class T, class OwnerRef>
T* widget(OwnerRef&& owner, const char* name)
{
    using Owner = std::remove_cvref_t<OwnerRef>;
    if constexpr (std::is_pointer_v<Owner>) {
        if (owner == nullptr) {
            throw std::runtime_error(std::string("no owner to look for ") + name + " in");
        }
        return widget<T>(*owner, name);
    } else if constexpr (requires { owner.get(); }) {
        return widget<T>(owner.get(), name);
    } else {
        T* found = nullptr;
        if constexpr (requires { owner.view(); }) {
            found = findwidget_detail::namedIn<T>(owner.view(), name);
        } else if constexpr (requires { owner.window(); }) {
            found = findwidget_detail::namedIn<T>(owner.window(), name);
        }
        if constexpr (std::is_base_of_v<QObject, Owner>) {
            if (found == nullptr) {
                found = findwidget_detail::namedIn<T>(&owner, name);
            }
        }
        if (found == nullptr) {
            throw std::runtime_error(std::string("no widget named ") + name);
        }
        return found;
    }
}
