[playlist]
numberofentries=1
file2=/home/user/Music/b.ogg
file1=/home/user/Music/Café - A.flac
title1=Café - A
length1=200
length2=61
version=2
