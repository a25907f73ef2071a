// SPDX-License-Identifier: GPL-3.0-or-later
// The dual active-set method of Goldfarb and Idnani (see dual_qp.hpp).

#include "lap_fit/dual_qp.hpp"

#include <cmath>
#include <limits>

namespace dz {

namespace {

using Eigen::Index;
using Eigen::MatrixXd;
using Eigen::VectorXd;

// One plane rotation (c, s) that takes (a, b) to (h, 0).
struct Rotation {
    double c = 1;
    double s = 0;
};

Rotation rotation_for(double a, double b, double& h)
{
    h = std::hypot(a, b);
    if (h == 0) return {};
    return {a / h, b / h};
}

// Columns j and k of m become c m_j + s m_k and -s m_j + c m_k.
void rotate_columns(MatrixXd& m, Index j, Index k, Rotation r)
{
    for (Index i = 0; i < m.rows(); ++i) {
        const double a = m(i, j);
        const double b = m(i, k);
        m(i, j) = r.c * a + r.s * b;
        m(i, k) = -r.s * a + r.c * b;
    }
}

// The working set of the method: the rotated factor J, the triangle R of the
// q active normals (J^T N = [R; 0]), the active constraints and their
// multipliers.
struct ActiveSet {
    MatrixXd J;
    MatrixXd R;
    int q = 0;
    std::vector<int> index;
    std::vector<double> u;

    // Adds the constraint whose d = J^T n is given: rotations zero d below
    // position q, R receives the column d(0 .. q).
    void add(int constraint, VectorXd& dv, double multiplier)
    {
        const Index p = J.cols();
        for (Index j = p - 1; j > q; --j) {
            if (dv(j) == 0) continue;
            double h = 0;
            const Rotation r = rotation_for(dv(j - 1), dv(j), h);
            dv(j - 1) = h;
            dv(j) = 0;
            rotate_columns(J, j - 1, j, r);
        }
        for (Index i = 0; i <= q; ++i) R(i, q) = dv(i);
        index.push_back(constraint);
        u.push_back(multiplier);
        ++q;
    }

    // Drops the active constraint at position k: its column leaves R, and
    // rotations of rows j, j + 1 of R (and columns j, j + 1 of J) take the
    // Hessenberg remainder back to a triangle.
    void drop(int k)
    {
        for (int col = k; col + 1 < q; ++col) R.col(col) = R.col(col + 1);
        R.col(q - 1).setZero();
        index.erase(index.begin() + k);
        u.erase(u.begin() + k);
        for (int j = k; j + 1 < q; ++j) {
            double h = 0;
            const Rotation r = rotation_for(R(j, j), R(j + 1, j), h);
            if (h == 0) continue;
            R(j, j) = h;
            R(j + 1, j) = 0;
            for (int col = j + 1; col + 1 < q; ++col) {
                const double a = R(j, col);
                const double b = R(j + 1, col);
                R(j, col) = r.c * a + r.s * b;
                R(j + 1, col) = -r.s * a + r.c * b;
            }
            rotate_columns(J, j, j + 1, r);
        }
        R.row(q - 1).setZero();
        --q;
    }
};

}  // namespace

int qp_factor(const MatrixXd& G, MatrixXd& J)
{
    // Plain loops rather than Eigen's blocked LLT and triangular solve, whose
    // block sizes follow the cache sizes of the machine: the same bits
    // everywhere.
    const Index p = G.rows();
    MatrixXd L = MatrixXd::Zero(p, p);
    // Cholesky, column by column: L(j, j) = sqrt(G(j, j) - sum L(j, k)^2)
    for (Index j = 0; j < p; ++j) {
        double diagonal = G(j, j);
        for (Index k = 0; k < j; ++k) diagonal -= L(j, k) * L(j, k);
        if (!(diagonal > 0) || !std::isfinite(diagonal)) return static_cast<int>(j + 1);
        const double root = std::sqrt(diagonal);
        L(j, j) = root;
        for (Index i = j + 1; i < p; ++i) {
            double sum = G(i, j);
            for (Index k = 0; k < j; ++k) sum -= L(i, k) * L(j, k);
            L(i, j) = sum / root;
        }
    }
    // J = L^-T, upper triangular: column c of L^-1 by forward substitution,
    // stored as row c of J
    J = MatrixXd::Zero(p, p);
    for (Index c = 0; c < p; ++c) {
        for (Index i = c; i < p; ++i) {
            double sum = i == c ? 1.0 : 0.0;
            for (Index k = c; k < i; ++k) sum -= L(i, k) * J(c, k);
            J(c, i) = sum / L(i, i);
        }
    }
    return 0;
}

QpStatus qp_solve(const MatrixXd& J0, const VectorXd& g, const MatrixXd& C, const VectorXd& d, double tolerance,
                  QpSolution& out)
{
    const Index p = J0.rows();
    const Index m = C.cols();
    constexpr double infinity = std::numeric_limits<double>::infinity();
    constexpr double eps = std::numeric_limits<double>::epsilon();

    ActiveSet set;
    set.J = J0;
    set.R = MatrixXd::Zero(p, p);
    std::vector<char> is_active(static_cast<std::size_t>(m), 0);
    VectorXd norm(m);
    for (Index i = 0; i < m; ++i) norm(i) = C.col(i).norm();

    // the unconstrained minimum
    out.x = J0 * (J0.transpose() * g);
    out.iterations = 0;
    const long limit = 50 * static_cast<long>(p + m);
    QpStatus status = QpStatus::solved;

    for (;;) {
        // choose the most violated constraint
        int chosen = -1;
        double worst = -tolerance;
        for (Index i = 0; i < m; ++i) {
            if (is_active[static_cast<std::size_t>(i)] || norm(i) == 0) continue;
            const double violation = (C.col(i).dot(out.x) - d(i)) / norm(i);
            if (violation < worst) {
                worst = violation;
                chosen = static_cast<int>(i);
            }
        }
        if (chosen < 0) break;
        const auto np = C.col(chosen);
        double slack = np.dot(out.x) - d(chosen);
        double u_new = 0;

        bool added = false;
        while (!added) {
            if (++out.iterations > limit) {
                status = QpStatus::no_progress;
                break;
            }
            // directions: z in the primal space, r for the active multipliers
            VectorXd dv = set.J.transpose() * np;
            const Index q = set.q;
            const double zz = dv.tail(p - q).squaredNorm();
            VectorXd z = set.J.rightCols(p - q) * dv.tail(p - q);
            VectorXd r = set.R.topLeftCorner(q, q).triangularView<Eigen::Upper>().solve(dv.head(q));

            // the partial step: the first active multiplier to reach zero
            double t1 = infinity;
            int k = -1;
            for (Index j = 0; j < q; ++j) {
                if (r(j) > 0) {
                    const double ratio = set.u[static_cast<std::size_t>(j)] / r(j);
                    if (ratio < t1) {
                        t1 = ratio;
                        k = static_cast<int>(j);
                    }
                }
            }
            // the full step: p holds with equality; none when n_p depends on the active normals
            const double dependent = 64 * eps * 64 * eps * dv.squaredNorm();
            const double t2 = zz > dependent ? -slack / zz : infinity;
            const double t = t1 < t2 ? t1 : t2;
            if (t == infinity) {
                status = QpStatus::infeasible;
                break;
            }
            for (Index j = 0; j < q; ++j) set.u[static_cast<std::size_t>(j)] -= t * r(j);
            u_new += t;
            if (t2 == infinity) {
                // a step in the dual space only
                is_active[static_cast<std::size_t>(set.index[static_cast<std::size_t>(k)])] = 0;
                set.drop(k);
                continue;
            }
            out.x += t * z;
            if (t2 <= t1) {
                set.add(chosen, dv, u_new);
                is_active[static_cast<std::size_t>(chosen)] = 1;
                added = true;
            } else {
                is_active[static_cast<std::size_t>(set.index[static_cast<std::size_t>(k)])] = 0;
                set.drop(k);
                slack = np.dot(out.x) - d(chosen);
            }
        }
        if (status != QpStatus::solved) break;
    }
    out.active = set.index;
    out.multipliers = VectorXd(static_cast<Index>(set.u.size()));
    for (std::size_t j = 0; j < set.u.size(); ++j) out.multipliers(static_cast<Index>(j)) = set.u[j];
    return status;
}

}  // namespace dz
