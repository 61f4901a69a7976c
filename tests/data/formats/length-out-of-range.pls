[playlist]
File1=/home/user/Music/01 Intro.mp3
Length1=185
File2=/home/user/Music/02 Long One.mp3
Length2=99999999999
NumberOfEntries=2
Version=2
