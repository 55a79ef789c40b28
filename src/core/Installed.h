#pragma once

#include <utility>

// The program's own instance of T, installed by whoever builds it for as long as
// this object lives (the previous one comes back after). Read through current();
// null in a part tested alone.
template <class T>
class Installed
{
public:
    explicit Installed(T *instance) : previous_(current_) { current_ = instance; }
    ~Installed() { current_ = previous_; }
    Installed(const Installed &) = delete;
    Installed &operator=(const Installed &) = delete;

    static T *current() { return current_; }

private:
    T *previous_;
    static inline T *current_ = nullptr;
};

// Owns a T and installs it for its own lifetime: uninstalled before it goes.
template <class T>
class Owned
{
public:
    template <class... Args>
    explicit Owned(Args &&...args) : object_(std::forward<Args>(args)...), installed_(&object_)
    {
    }

    T *get() { return &object_; }
    T *operator->() { return &object_; }

private:
    T object_;
    Installed<T> installed_;
};
