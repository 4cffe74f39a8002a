#!/usr/bin/env bash
# Placeholder until the demo target is built: says so and fails.
echo "make demo: not available yet in this build of q7patcher" >&2
exit 1
