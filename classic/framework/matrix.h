#pragma once
// A small dense two-dimensional array stored row by row: element (r, c) is element
// r * cols + c. Built zero-filled.
#include <cstdint>
#include <vector>

template <typename T>
class matrix : private std::vector<T> {
public:
    matrix() : std::vector<T>(1, T{}), rows_(1), cols_(1) {}
    matrix(std::uint64_t rows, std::uint64_t cols) : std::vector<T>(rows * cols, T{}), rows_(rows), cols_(cols) {}
    virtual ~matrix() = default;

    matrix(const matrix&) = default;
    matrix& operator=(const matrix&) = default;
    matrix(matrix&&) = default;
    matrix& operator=(matrix&&) = default;

    // Reshapes to rows x cols, every element zero.
    void resize(std::uint64_t rows, std::uint64_t cols)
    {
        std::vector<T>::assign(rows * cols, T{});
        rows_ = rows;
        cols_ = cols;
    }

    std::uint64_t rows() const { return rows_; }
    std::uint64_t cols() const { return cols_; }

    T& operator()(std::uint64_t row, std::uint64_t col) { return std::vector<T>::operator[](row* cols_ + col); }
    const T& operator()(std::uint64_t row, std::uint64_t col) const
    {
        return std::vector<T>::operator[](row* cols_ + col);
    }
    // The first element of a row.
    T* row(std::uint64_t r) { return std::vector<T>::data() + r * cols_; }
    const T* row(std::uint64_t r) const { return std::vector<T>::data() + r * cols_; }

    using std::vector<T>::data;
    using std::vector<T>::size;

private:
    std::uint64_t rows_;
    std::uint64_t cols_;
};
