audio/x-scpls
[playlist]
File1=/home/user/Music/01 Intro.mp3
Title1=Intro
Length1=185
NumberOfEntries=1
Version=2
