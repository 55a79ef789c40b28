#pragma once

// The program's own instance of T, installed by whoever builds it for as long as
// this object lives (the previous one comes back after). Read through T::shared();
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
