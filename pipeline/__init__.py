# SPDX-FileCopyrightText: 2026 The Pellimantor developers
# SPDX-License-Identifier: MIT
"""The release pipeline: the static Qt toolkit from Debian's source package
(manifest, toolkit, records), the shipped build (build), and its release set
(release_set, from the link: components, presence, licences, runtime;
written by outputs). Run as `python3 -m pipeline` with Debian's Python."""
