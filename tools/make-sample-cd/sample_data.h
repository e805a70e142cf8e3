// The sample data of make-sample-cd: the genres and places it names, and
// the generator of everything else (the same seed, the same values).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sample_cd {

struct Named {
    const char* name;
    const char* reading;
};

struct Group {
    Named name;
    std::vector<Named> genres;
    enum Style { Shop, Lodging, Place } style;
};

const std::vector<Group>& Groups();

extern const Named kSubCategories[3];
extern const Named kBrands[10];
extern const Named kTowns[16];

struct Prefecture {
    int code;
    Named name;
    double lon, lat;
    const char* zip;
    const char* tel;
    std::vector<Named> cities;
};

const std::vector<Prefecture>& Prefectures();

// splitmix64: small, fast and the same everywhere.
class Random {
public:
    explicit Random(std::uint64_t seed) : m_state(seed) {}
    std::uint64_t Next()
    {
        std::uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    int Below(int n) { return static_cast<int>(Next() % static_cast<std::uint64_t>(n)); }
    double Unit() { return (Next() >> 11) * (1.0 / 9007199254740992.0); }

private:
    std::uint64_t m_state;
};

std::string Digits(Random& rnd, int n);
// A number in full-width digits, for names numbered past the list.
std::string WideNumber(int n);
// The JIS second-level mesh code (6 digits) of a point given in degrees.
std::string MeshCode(double lon, double lat);
long ArcMilliseconds(double degrees);
std::string Telephone(Random& rnd, const std::string& area);

} // namespace sample_cd
