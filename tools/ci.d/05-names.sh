#!/usr/bin/env bash
# Every type, function, constant, data member and test named as README ("Building") says.
set -euo pipefail
cd "$(dirname "$0")/../.."
tools/check-names
echo "ok: names"
