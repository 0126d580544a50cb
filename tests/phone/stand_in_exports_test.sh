#!/bin/bash
# The stand-in library exports the vendor's entry points and nothing of ours:
# every dynamic symbol it defines is one the vendor header declares, or one
# of the C++ runtime's templates, or the type information of a standard class
# (std::bad_variant_access, thrown from std::get), that libstdc++ keeps visible.
set -u
LIBRARY=$1 HEADER=$2
declared=$(grep -o '_IFWD_DL_[A-Za-z_]*' "$HEADER" | sort -u)
exported=$(nm -D --defined-only "$LIBRARY" | awk '{print $3}' | grep -Ev '^_Z+NK?St|^_ZSt|^_ZT[ISV]St' | sort -u)
if [ "$declared" != "$exported" ]; then
    diff <(echo "$declared") <(echo "$exported") >&2
    exit 1
fi
