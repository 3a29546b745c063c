#!/usr/bin/python3
"""Writes a history.xml of N made-up devices (addresses 10:..., none of
them in the demo scenario), as an earlier run would have saved it.

  make_history.py N FILE
"""
import sys

count, path = int(sys.argv[1]), sys.argv[2]
with open(path, 'w', newline='') as f:
    f.write('<?xml version="1.0"?>\r\n')
    f.write('<dataroot version="1.7.4.0" vendor="Pelmark LLC." url="http://www.pelmark.example/"'
            ' mail="support@pelmark.example" created="07/20/2009 10:00:00"'
            ' comments="Wrenlocator Database File">')
    for i in range(count):
        a = '10:%02X:%02X:%02X:%02X:%02X' % ((i >> 32) & 255, (i >> 24) & 255, (i >> 16) & 255,
                                            (i >> 8) & 255, i & 255)
        f.write('<entry Radio="Old radio" Name="Device %d" Address="%s" Producer=""'
                ' LastSeenTime="10:00:00 07/20/2009" LastUsedTime="" Type="Phone" Services=""'
                ' Image="9"/>' % (i, a))
    f.write('</dataroot>\r\n')
